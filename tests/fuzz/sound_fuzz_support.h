// Shared by the sound decoder fuzz targets: runs the whole decoder chain
// over the input and exercises everything a sound load and a stream do.
#ifndef QUARNEX_TESTS_FUZZ_SOUND_FUZZ_SUPPORT_H
#define QUARNEX_TESTS_FUZZ_SOUND_FUZZ_SUPPORT_H

#include <dirent.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "runtime/core/alloc.h"
#include "runtime/file/file.h"
#include "runtime/sound/sound_decoder.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/read_file.h"

namespace qxfuzz {

// Copies the sound fixtures whose names end in one of `suffixes` as seeds.
inline void WriteSoundFixtureSeeds(const char* dir, const std::vector<std::string>& suffixes) {
  std::string self = __FILE__;
  std::string from = self.substr(0, self.rfind('/')) + "/../fixtures/sounds";
  DIR* d = opendir(from.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    for (const std::string& s : suffixes)
      if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
        WriteSeed(dir, name, qxtest::ReadWholeFile(from + "/" + name));
  }
  closedir(d);
}

inline void FuzzSoundDecoder(const uint8_t* data, size_t size) {
  qx::MemoryStream* stream = qx::OpenMemoryStream(data, size);
  if (!stream) return;
  qx::SoundDecoder decoder;
  if (qx::SoundDecoderOpen(&decoder, qx::MemoryStreamOps(), stream) == 0) {
    const int64_t length = qx::SoundDecoderLength(&decoder);
    uint8_t* pcm = nullptr;
    size_t pcmSize = 0;
    qx::WaveFormat format;
    if (qx::SoundDecoderDecodeAll(&decoder, &pcm, &pcmSize, &format) == 0) {
      // Touch the last byte so a wrong size shows up.
      volatile uint8_t sink = pcm[pcmSize - 1];
      (void)sink;
      qx::MemFree(pcm);
    }
    // Seeks as a stream does them: into the middle, back to a loop start, past the end.
    const int64_t frames = decoder.format.BlockAlign ? length / decoder.format.BlockAlign : 0;
    const int64_t targets[] = {frames / 2, frames / 3, 0, frames - 1, frames + 5};
    uint8_t buffer[3000];
    for (int64_t t : targets) {
      if (t < 0 || qx::SoundDecoderSeek(&decoder, t) != 0) continue;
      qx::SoundDecoderRead(&decoder, buffer, sizeof(buffer));
    }
    qx::SoundDecoderClose(&decoder);
  }
  qx::MemoryStreamOps().Close(stream);
}

}  // namespace qxfuzz

#endif
