// Stereo sample buffers at 44.1 kHz, the synthesis helpers the sounds are made of and WAVE output.
#ifndef QUARNEX_TOOLS_RESGEN_AUDIO_H
#define QUARNEX_TOOLS_RESGEN_AUDIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace resgen {

constexpr int kRate = 44100;

// Full scale is shared: the music and two effects at full volume sounding at
// once peak below it, so the mixer never has to clip. The effects keep their
// levels relative to the loudest of them.
constexpr float kMusicPeak = 0.3f;
constexpr float kEffectPeak = 0.34f;
static_assert(kMusicPeak + 2 * kEffectPeak < 1.0f, "the game's mix would clip");

struct Sound {
  std::vector<float> l, r;
  explicit Sound(double seconds = 0) : l(static_cast<size_t>(seconds * kRate), 0.0f), r(l.size(), 0.0f) {}
  size_t size() const { return l.size(); }
  void Add(size_t i, float left, float right) {
    if (i < l.size()) {
      l[i] += left;
      r[i] += right;
    }
  }
};

// Scales the sound so that its loudest sample reaches `peak`.
void Normalize(Sound& s, float peak);
// Short fades at both ends so a sound never starts or stops with a click.
void Declick(Sound& s, int fadeIn, int fadeOut);
// 16-bit stereo PCM WAVE with the canonical 44-byte header.
bool WriteWav(const std::string& path, const Sound& s);

// White noise from a seeded generator, in -1..1.
class Noise {
 public:
  explicit Noise(uint32_t seed) : s_(seed * 2654435761u + 1) {}
  float Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return static_cast<float>(static_cast<int32_t>(s_)) / 2147483648.0f;
  }
 private:
  uint32_t s_;
};

// One-pole low-pass; cutoff in Hz, may change per sample.
struct OnePole {
  float z = 0;
  float Low(float x, float cutoff);
  float High(float x, float cutoff) { return x - Low(x, cutoff); }
};

// Chamberlin state-variable filter, low-pass and band-pass outputs.
struct Svf {
  float low = 0, band = 0;
  void Run(float x, float cutoff, float q);
};

float MidiHz(float note);
float SoftClip(float x);

}  // namespace resgen

#endif
