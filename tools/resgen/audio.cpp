#include "audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace resgen {

void Normalize(Sound& s, float peak) {
  float m = 0;
  for (size_t i = 0; i < s.size(); ++i) m = std::max({m, std::fabs(s.l[i]), std::fabs(s.r[i])});
  if (m <= 0) return;
  float k = peak / m;
  for (size_t i = 0; i < s.size(); ++i) {
    s.l[i] *= k;
    s.r[i] *= k;
  }
}

void Declick(Sound& s, int fadeIn, int fadeOut) {
  size_t n = s.size();
  for (int i = 0; i < fadeIn && static_cast<size_t>(i) < n; ++i) {
    float k = static_cast<float>(i) / fadeIn;
    s.l[i] *= k;
    s.r[i] *= k;
  }
  for (int i = 0; i < fadeOut && static_cast<size_t>(i) < n; ++i) {
    float k = static_cast<float>(i) / fadeOut;
    s.l[n - 1 - i] *= k;
    s.r[n - 1 - i] *= k;
  }
}

static void Put16(std::vector<unsigned char>& b, uint32_t v) {
  b.push_back(v & 0xff);
  b.push_back((v >> 8) & 0xff);
}
static void Put32(std::vector<unsigned char>& b, uint32_t v) {
  Put16(b, v & 0xffff);
  Put16(b, v >> 16);
}
static void PutTag(std::vector<unsigned char>& b, const char* t) { b.insert(b.end(), t, t + 4); }

bool WriteWav(const std::string& path, const Sound& s) {
  const uint32_t frames = static_cast<uint32_t>(s.size());
  const uint32_t dataBytes = frames * 4;
  std::vector<unsigned char> b;
  b.reserve(44 + dataBytes);
  PutTag(b, "RIFF");
  Put32(b, 36 + dataBytes);
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  Put32(b, 16);
  Put16(b, 1);           // PCM
  Put16(b, 2);           // channels
  Put32(b, kRate);
  Put32(b, kRate * 4);   // bytes per second
  Put16(b, 4);           // block alignment
  Put16(b, 16);          // bits per sample
  PutTag(b, "data");
  Put32(b, dataBytes);
  for (uint32_t i = 0; i < frames; ++i) {
    for (float v : {s.l[i], s.r[i]}) {
      long q = std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
      Put16(b, static_cast<uint32_t>(static_cast<int16_t>(q)) & 0xffff);
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

float OnePole::Low(float x, float cutoff) {
  float a = 1.0f - std::exp(-2.0f * 3.14159265f * std::clamp(cutoff, 1.0f, 20000.0f) / kRate);
  z += a * (x - z);
  return z;
}

void Svf::Run(float x, float cutoff, float q) {
  float f = 2.0f * std::sin(3.14159265f * std::clamp(cutoff, 20.0f, 12000.0f) / kRate);
  low += f * band;
  float high = x - low - q * band;
  band += f * high;
}

float MidiHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

float SoftClip(float x) { return std::tanh(x); }

}  // namespace resgen
