// A sound effect on every left click (and once a second) over looping music.
// When the sound system is down (no audio device, or none built in), loading
// fails and the program goes on silently.
#include <quarnex/runtime.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

namespace {

// Sounds come from files (WAVE, Ogg Vorbis, MP3). These two are made on the
// spot: 16-bit stereo WAVE at 44.1 kHz, each note a decaying sine.
bool WriteWave(const char* path, const std::vector<double>& notesHz, double noteSeconds) {
  const int rate = 44100;
  const int framesPerNote = static_cast<int>(rate * noteSeconds);
  std::vector<short> samples;
  for (double hz : notesHz) {
    for (int i = 0; i < framesPerNote; ++i) {
      double t = static_cast<double>(i) / rate;
      double v = std::sin(2 * 3.14159265358979 * hz * t) * std::exp(-4 * t / noteSeconds) * 9000;
      samples.push_back(static_cast<short>(v));  // left
      samples.push_back(static_cast<short>(v));  // right
    }
  }
  const unsigned dataBytes = static_cast<unsigned>(samples.size() * 2);
  unsigned char header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                              16, 0, 0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0,
                              'd', 'a', 't', 'a'};
  auto put32 = [&](int at, unsigned value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  put32(4, 36 + dataBytes);
  put32(24, rate);      // sample rate
  put32(28, rate * 4);  // bytes per second
  put32(40, dataBytes);
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  std::fwrite(header, 1, sizeof header, f);
  std::fwrite(samples.data(), 2, samples.size(), f);  // little-endian, as WAVE wants on this machine
  return std::fclose(f) == 0;
}

}  // namespace

int main() {
  SetWindowCaption("Quarnex example: sound and music");
  SetScreenMode(640, 480, 32, 60);
  ChangeWindowMode(1);
  SetLogFileEnabled(0);
  if (InitRuntime() != 0) return 1;
  SetDrawTarget(-2);

  if (!WriteWave("click.wav", {880}, 0.12) || !WriteWave("tune.wav", {262, 330, 392, 523}, 0.4)) return 1;
  // 3 play buffers: up to three clicks can sound at once. The last argument is always -1.
  SoundHandle click = LoadSoundFile("click.wav", 3, -1);
  SoundHandle music = LoadSoundFile("tune.wav", 1, -1);
  if (click == -1 || music == -1) {
    std::cout << "sound_music: the sound system is down, running silently\n";
  } else {
    SetSoundVolume(160, click);          // 0..255
    SetSoundLoopPosition(400, music);    // after the end, go on from 0.4 s: the first note plays once
    PlaySoundHandle(music, 3, 1);        // 3: loop in the background, 1: from the top
    std::cout << "sound_music: playing\n";
  }
  ScreenPrintf("Click for a sound; the music loops. Escape quits.");

  const auto start = std::chrono::steady_clock::now();
  int frames = 0, clicks = 0, wasDown = 0;
  unsigned char keys[256];
  while (ProcessMessage() == 0) {
    GetAllKeyStates(keys);
    if (keys[1]) break;
    int down = GetMouseButtons() & 1;  // bit 0: left button
    if ((down && !wasDown) || frames % 60 == 59) {
      PlaySoundHandle(click, 1, 1);  // 1: play in the background and return; -1 when there is no sound
      ++clicks;
    }
    wasDown = down;
    ClearDrawTarget();
    // A bar that flashes with each click.
    int level = down ? 255 : 80;
    DrawRectangle(100, 200, 540, 280, GetColorValue(level, level / 2, 40), 1);
    FlipScreen();
    ++frames;
  }
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "sound_music: " << frames << " frames, " << clicks << " clicks in " << seconds << " s\n";
  DeleteAllSounds(0);
  EndRuntime();
  return 0;
}
