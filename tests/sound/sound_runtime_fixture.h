// The runtime on the headless back end with its audio captured: tests play
// sounds, let virtual time pass and then listen to the capture.
#ifndef QUARNEX_TESTS_SOUND_SOUND_RUNTIME_FIXTURE_H
#define QUARNEX_TESTS_SOUND_SOUND_RUNTIME_FIXTURE_H

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/lock.h"
#include "runtime/platform/platform.h"
#include "runtime/runtime.h"
#include "support/headless_fixture.h"
#include "sound/decoder_test_util.h"

namespace qxtest {

// Interleaved 16-bit stereo at 44100 Hz; frame n is n / 44100 s after the sound system started.
struct Capture {
  std::vector<int16_t> samples;
  size_t frames() const { return samples.size() / 2; }
  int left(size_t frame) const { return frame < frames() ? samples[2 * frame] : 0; }
  int right(size_t frame) const { return frame < frames() ? samples[2 * frame + 1] : 0; }
  // First frame at or after `from` where either channel is not 0; npos when none.
  size_t Onset(size_t from = 0) const {
    for (size_t f = from; f < frames(); ++f) {
      if (samples[2 * f] != 0 || samples[2 * f + 1] != 0) return f;
    }
    return std::string::npos;
  }
};

inline std::vector<uint8_t> PcmWave(int channels, int rate, int bits, const std::vector<uint8_t>& pcm) {
  return RiffWave({Chunk("fmt ", PcmFmt(channels, static_cast<uint32_t>(rate), bits)), Chunk("data", pcm)});
}

// 16-bit stereo frames with the same value on both channels.
inline std::vector<uint8_t> Dc16(int frames, int16_t value) {
  std::vector<uint8_t> v;
  for (int i = 0; i < frames; ++i) {
    Put16(v, static_cast<uint16_t>(value));
    Put16(v, static_cast<uint16_t>(value));
  }
  return v;
}

// Internal sound calls take the API lock as the public operations do: the
// message thread pumps (and refills streams) meanwhile.
struct ApiLocked {
  ApiLocked() { qx::ApiLockEnter(); }
  ~ApiLocked() { qx::ApiLockLeave(); }
  ApiLocked(const ApiLocked&) = delete;
  ApiLocked& operator=(const ApiLocked&) = delete;
};

class SoundRuntime : public HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    capturePath_ = dir_ + "/capture.wav";
    setenv("QUARNEX_AUDIO_OUT", capturePath_.c_str(), 1);
    SetWindowCaption("QxSoundTest");
    SetScreenMode(800, 600, 32, 60);
    SetLogFileEnabled(1);
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
    ASSERT_EQ(InitRuntime(), 0);
    unsetenv("QUARNEX_AUDIO_OUT");
  }
  void TearDown() override {
    if (running_) EndRuntime();
    HeadlessFixture::TearDown();
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<std::streamsize>(bytes.size()));
    return name;
  }
  // Game-like frames: the message pump (which refills stream sounds), then 17 ms.
  void Frames(int count) {
    for (int i = 0; i < count; ++i) {
      ProcessMessage();
      qx::Os().Sleep(17);
    }
  }
  void Milliseconds(int ms) { Frames((ms + 16) / 17); }

  // Ends the runtime (which completes the capture) and reads it.
  Capture Listen() {
    EndRuntime();
    running_ = false;
    Capture c;
    const std::string bytes = ReadWholeText(capturePath_);
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(36, 4, "data") != 0) return c;
    uint32_t dataSize;
    memcpy(&dataSize, bytes.data() + 40, 4);
    EXPECT_EQ(dataSize, bytes.size() - 44) << "capture header not completed";
    c.samples.resize((bytes.size() - 44) / 4 * 2);
    memcpy(c.samples.data(), bytes.data() + 44, c.samples.size() * 2);
    return c;
  }
  std::string Log() { return ReadWholeText(dir_ + "/Log.txt"); }

  std::string capturePath_;
  bool running_ = true;
};

}  // namespace qxtest

#endif
