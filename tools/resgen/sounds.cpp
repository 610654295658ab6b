// Short synthesized effects.
#include <cmath>

#include "resgen.h"

namespace resgen {
namespace {

constexpr float kTwoPi = 6.28318530718f;

float Env(float t, float attack, float decay) {
  if (t < 0) return 0;
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / decay);
}

// A bell-like FM tone.
void Bell(Sound& s, float start, float hz, float dur, float amp, float pan) {
  size_t i0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(dur * kRate);
  for (size_t i = 0; i < n; ++i) {
    float t = static_cast<float>(i) / kRate;
    float e = Env(t, 0.004f, dur * 0.3f);
    float mod = std::sin(kTwoPi * hz * 3.5f * t) * 2.2f * std::exp(-t * 6);
    float v = std::sin(kTwoPi * hz * t + mod) * e * amp;
    v += std::sin(kTwoPi * hz * 2.0f * t) * e * e * amp * 0.25f;
    s.Add(i0 + i, v * (1 - pan), v * (1 + pan));
  }
}

Sound Jingle() {
  // Logo jingle: a rising arpeggio that lands on a bright chord.
  Sound s(2.0);
  const float notes[] = {72, 76, 79, 84};
  for (int i = 0; i < 4; ++i) Bell(s, i * 0.09f, MidiHz(notes[i]), 1.4f, 0.35f, (i - 1.5f) * 0.2f);
  for (float n : {72.0f, 79.0f, 88.0f}) Bell(s, 0.42f, MidiHz(n), 1.5f, 0.3f, 0.0f);
  Normalize(s, 0.94f * kEffectPeak);
  Declick(s, 16, 2000);
  return s;
}

Sound Start() {
  Sound s(1.0);
  Noise nz(5);
  Svf f;
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    // Rising whoosh.
    f.Run(nz.Next(), 300 + 5000 * t, 0.3f);
    float w = f.band * std::min(1.0f, t * 4) * std::exp(-t * 2.5f) * 0.5f;
    s.Add(i, w, w);
  }
  for (float n : {67.0f, 71.0f, 74.0f, 79.0f}) Bell(s, 0.18f, MidiHz(n), 0.8f, 0.3f, (n - 72) / 20);
  Normalize(s, 0.94f * kEffectPeak);
  Declick(s, 16, 1500);
  return s;
}

Sound Steel() {
  // Metallic clang: inharmonic partials over a sharp noise strike.
  Sound s(0.6);
  Noise nz(11);
  OnePole hp;
  const float ratios[] = {1.0f, 2.76f, 5.4f, 8.93f, 13.3f};
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float v = 0;
    for (int k = 0; k < 5; ++k) v += std::sin(kTwoPi * 620 * ratios[k] * t + k) * std::exp(-t * (7 + k * 5)) / (1 + k * 0.6f);
    float strike = hp.High(nz.Next(), 2500) * std::exp(-t * 60);
    float l = v * 0.5f + strike, r = v * 0.5f + strike * 0.8f;
    s.Add(i, l, r);
  }
  Normalize(s, kEffectPeak);
  Declick(s, 8, 800);
  return s;
}

Sound Thunder() {
  // Electric zap: a falling buzz chopped by random crackle gates.
  Sound s(0.7);
  Noise nz(23), gate(29);
  Svf f;
  float phase = 0, g = 1;
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    if (i % 400 == 0) g = gate.Next() > -0.3f ? 1.0f : 0.2f;
    phase += (900 * std::exp(-t * 5) + 70) / kRate;
    float saw = 2 * (phase - std::floor(phase)) - 1;
    f.Run(nz.Next(), 1800 + 3000 * std::exp(-t * 8), 0.4f);
    float crackle = f.band * g * std::exp(-t * 4);
    float v = SoftClip(saw * 0.6f * std::exp(-t * 3.5f) * g + crackle * 1.5f);
    s.Add(i, v, SoftClip(v * 0.8f + crackle * 0.3f));
  }
  Normalize(s, 0.94f * kEffectPeak);
  Declick(s, 8, 1500);
  return s;
}

Sound Ice() {
  // Freezing shimmer: glassy high partials and a brittle crackle.
  Sound s(0.8);
  Noise nz(31);
  OnePole hp;
  const float partials[] = {1760, 2637, 3520, 4186, 5274};
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float v = 0;
    for (int k = 0; k < 5; ++k) {
      float start = k * 0.035f;
      if (t < start) continue;
      float tt = t - start;
      v += std::sin(kTwoPi * partials[k] * tt) * std::exp(-tt * 6) * 0.3f;
    }
    float crackle = hp.High(nz.Next(), 4000);
    crackle *= (nz.Next() > 0.9f ? 1.0f : 0.1f) * std::exp(-t * 5);
    float pan = std::sin(t * 25) * 0.4f;
    s.Add(i, (v + crackle) * (1 - pan), (v + crackle) * (1 + pan));
  }
  Normalize(s, 0.94f * kEffectPeak);
  Declick(s, 16, 1500);
  return s;
}

Sound Break() {
  // Crumbling rock under a bright "got it" blip.
  Sound s(0.55);
  Noise nz(41);
  OnePole lp;
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float rumble = lp.Low(nz.Next(), 900) * std::exp(-t * 9) * 2.5f;
    float f = t < 0.06f ? 880.0f : 1318.5f;
    float blip = (std::sin(kTwoPi * f * t) > 0 ? 0.22f : -0.22f) * (t < 0.2f ? 1.0f : std::exp(-(t - 0.2f) * 20));
    s.Add(i, rumble + blip, rumble * 0.9f + blip);
  }
  Normalize(s, 0.94f * kEffectPeak);
  Declick(s, 8, 600);
  return s;
}

Sound Change() {
  Sound s(0.14);
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float f = t < 0.06f ? 1046.5f : 1568.0f;
    float v = std::sin(kTwoPi * f * t) * 0.5f + std::sin(kTwoPi * f * 2 * t) * 0.15f;
    v *= std::exp(-t * 12);
    s.Add(i, v, v);
  }
  Normalize(s, 0.82f * kEffectPeak);
  Declick(s, 16, 400);
  return s;
}

Sound Damage() {
  // A heavy distorted hit with a falling tone: something got through.
  Sound s(1.0);
  Noise nz(53);
  OnePole lp;
  float phase = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    phase += (160 * std::exp(-t * 3) + 40) / kRate;
    float boom = std::sin(kTwoPi * phase) * std::exp(-t * 3.5f) * 2.2f;
    float noise = lp.Low(nz.Next(), 2500 * std::exp(-t * 4) + 200) * std::exp(-t * 5) * 2;
    float alarm = std::sin(kTwoPi * 440 * t) * (std::fmod(t, 0.25f) < 0.12f ? 0.25f : 0.0f) * std::exp(-t * 1.5f);
    float v = SoftClip(boom + noise) + alarm;
    s.Add(i, v, v);
  }
  Normalize(s, kEffectPeak);
  Declick(s, 8, 3000);
  return s;
}

}  // namespace

void MakeSounds(Output& out) {
  out.Wav("res/se/common/kest.wav", Jingle());
  out.Wav("res/se/common/start.wav", Start());
  out.Wav("res/se/game/hagane.wav", Steel());
  out.Wav("res/se/game/kaminari.wav", Thunder());
  out.Wav("res/se/game/reitou.wav", Ice());
  out.Wav("res/se/game/get.wav", Break());
  out.Wav("res/se/game/change.wav", Change());
  out.Wav("res/se/game/damage.wav", Damage());
}

}  // namespace resgen
