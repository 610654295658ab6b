// The play music: an 8-bar intro, then a 16-bar body that the game loops from 16.7 s to the end.
//
// The body is rendered into a ring buffer, so notes that ring past its end continue at its start:
// the last sample leads into the loop point exactly as into any other sample. The intro's last
// bar plays the body's last bar, so the first entry into the body is just as smooth. The beat
// grid starts an eighth of a beat late, so the loop point sits inside sustained notes rather
// than on the downbeat's noise.
#include <algorithm>
#include <cmath>
#include <vector>

#include "resgen.h"

namespace resgen {
namespace {

constexpr double kLoopStart = 736470;            // 16.7 s at 44.1 kHz
constexpr double kBeat = kLoopStart / 32;        // the intro is 8 bars of 4/4 (about 115 BPM)
constexpr double kLoopLength = kBeat * 64;       // 16 bars
constexpr double kPickup = kBeat / 8;
constexpr float kTwoPi = 6.28318530718f;

enum Instrument { kKick, kSnare, kHat, kOpenHat, kCrash, kBass, kPad, kArp, kLead };

struct Note {
  Instrument ins;
  double beat;     // start, in beats from the section's start
  double length;   // gate, in beats
  float pitch;     // MIDI note
  float velocity;
  float pan;       // -1 left .. 1 right
  uint32_t seed;
};

// Renders one note with time measured from its exact start, calling put(sample offset, left, right).
template <typename Put>
void RenderNote(const Note& n, double startSample, Put put) {
  double gate = n.length * kBeat / kRate;  // seconds
  float tail = 0;
  switch (n.ins) {
    case kKick: tail = 0.45f; break;
    case kSnare: tail = 0.3f; break;
    case kHat: tail = 0.06f; break;
    case kOpenHat: tail = 0.3f; break;
    case kCrash: tail = 1.8f; break;
    case kBass: tail = static_cast<float>(gate) + 0.05f; break;
    case kPad: tail = static_cast<float>(gate) + 0.9f; break;
    case kArp: tail = 0.25f; break;
    case kLead: tail = static_cast<float>(gate) + 0.25f; break;
  }
  long first = static_cast<long>(std::ceil(startSample));
  long count = static_cast<long>(tail * kRate) + 1;
  Noise nz(n.seed);
  OnePole lp, lp2;
  Svf svf;
  float hz = MidiHz(n.pitch);
  float phases[3] = {0, 0.33f, 0.67f};
  float lr = 0.5f * (1 - n.pan), rr = 0.5f * (1 + n.pan);
  for (long k = 0; k < count; ++k) {
    long i = first + k;
    float t = static_cast<float>((i - startSample) / kRate);
    float v = 0;
    switch (n.ins) {
      case kKick: {
        float f = 45 + 85 * std::exp(-t * 28);
        phases[0] += f / kRate;
        v = std::sin(kTwoPi * phases[0]) * std::exp(-t * 7) + nz.Next() * 0.3f * std::exp(-t * 300);
        v = SoftClip(v * 1.6f);
        break;
      }
      case kSnare: {
        svf.Run(nz.Next(), 3200, 0.6f);
        v = svf.band * 1.4f * std::exp(-t * 16) + std::sin(kTwoPi * 190 * t) * 0.5f * std::exp(-t * 25);
        break;
      }
      case kHat:
      case kOpenHat: {
        float x = nz.Next();
        v = (x - lp.Low(x, 7000)) * std::exp(-t * (n.ins == kHat ? 60.0f : 12.0f));
        break;
      }
      case kCrash: {
        float x = nz.Next();
        v = (x - lp.Low(x, 5000)) * std::exp(-t * 2.2f) * 0.8f;
        break;
      }
      case kBass: {
        phases[0] += hz / kRate;
        float saw = 2 * (phases[0] - std::floor(phases[0])) - 1;
        float sq = phases[0] - std::floor(phases[0]) < 0.5f ? 0.6f : -0.6f;
        float env = t < gate ? 1.0f : std::max(0.0f, 1 - static_cast<float>((t - gate) / 0.05f));
        float cut = 300 + 1600 * std::exp(-t * 9);
        v = lp2.Low(lp.Low((saw + sq) * 0.6f, cut), cut * 1.5f) * env * std::min(1.0f, t * 400);
        break;
      }
      case kPad: {
        float sum = 0;
        for (int d = 0; d < 3; ++d) {
          phases[d] += hz * (1 + (d - 1) * 0.0045f) / kRate;
          sum += 2 * (phases[d] - std::floor(phases[d])) - 1;
        }
        float env = std::min(1.0f, t / 0.35f);
        if (t > gate) env *= std::exp(-static_cast<float>(t - gate) / 0.25f);
        v = lp2.Low(lp.Low(sum * 0.33f, 1500), 2200) * env;
        break;
      }
      case kArp: {
        phases[0] += hz / kRate;
        float ph = phases[0] - std::floor(phases[0]);
        v = lp.Low(ph < 0.3f ? 1.0f : -0.45f, 2600 + 3000 * std::exp(-t * 20)) * std::exp(-t * 16);
        break;
      }
      case kLead: {
        float vib = t > 0.15f ? std::sin(kTwoPi * 5.5f * t) * 0.004f * std::min(1.0f, (t - 0.15f) * 4) : 0;
        phases[0] += hz * (1 + vib) / kRate;
        phases[1] += hz * (1.003f + vib) / kRate;
        float a = 2 * (phases[0] - std::floor(phases[0])) - 1;
        float b = phases[1] - std::floor(phases[1]) < 0.5f ? 0.7f : -0.7f;
        float env = std::min(1.0f, t / 0.012f) * (0.75f + 0.25f * std::exp(-t * 6));
        if (t > gate) env *= std::max(0.0f, 1 - static_cast<float>((t - gate) / 0.25f));
        v = lp2.Low(lp.Low((a + b) * 0.5f, 3800), 5200) * env;
        break;
      }
    }
    v *= n.velocity;
    put(k + first, v * lr, v * rr);
  }
}

struct Chord {
  float root;      // bass note
  float tones[3];  // pad voicing
};

const Chord kAm{45, {57, 60, 64}}, kF{41, {53, 57, 60}}, kC{48, {55, 60, 64}}, kG{43, {55, 59, 62}},
    kE{40, {56, 59, 64}}, kEm{40, {55, 59, 64}};

struct Phrase {
  double beat, length;
  float pitch;
};

// Lead melody of the body, bar by bar.
const std::vector<std::vector<Phrase>> kMelody = {
    {{0, 1, 76}, {1, 1, 81}, {2, 1.5, 84}, {3.5, 0.5, 83}},
    {{0, 1.5, 81}, {1.5, 0.5, 79}, {2, 1, 77}, {3, 1, 76}},
    {{0, 1, 79}, {1, 0.5, 76}, {1.5, 0.5, 79}, {2, 2, 84}},
    {{0, 1.5, 83}, {1.5, 0.5, 81}, {2, 1, 79}, {3, 1, 74}},
    {{0, 0.5, 76}, {0.5, 0.5, 81}, {1, 0.5, 83}, {1.5, 1, 84}, {2.5, 1.5, 88}},
    {{0, 1, 86}, {1, 1, 84}, {2, 2, 81}},
    {{0, 1, 83}, {1, 1, 86}, {2, 1, 79}, {3, 1, 83}},
    {{0, 2, 80}, {2, 1, 83}, {3, 1, 88}},
    {{0, 2, 81}, {2, 1, 84}, {3, 1, 89}},
    {{0, 1.5, 88}, {1.5, 0.5, 86}, {2, 2, 83}},
    {{0, 1, 79}, {1, 1, 83}, {2, 2, 88}},
    {{0, 1, 88}, {1, 0.5, 86}, {1.5, 0.5, 84}, {2, 2, 81}},
    {{0, 1, 77}, {1, 1, 81}, {2, 1, 84}, {3, 1, 81}},
    {{0, 1, 79}, {1, 1, 83}, {2, 1, 86}, {3, 1, 83}},
    {{0, 1, 80}, {1, 1, 83}, {2, 2, 88}},
    {{0, 1, 86}, {1, 1, 83}, {2, 1, 80}, {3, 1, 76}},
};

const Chord* kBody[16] = {&kAm, &kF, &kC, &kG, &kAm, &kF, &kG, &kE, &kF, &kG, &kEm, &kAm, &kF, &kG, &kE, &kE};

uint32_t Seed(int bar, int slot, int ins) { return static_cast<uint32_t>(bar * 7919 + slot * 131 + ins * 17 + 1); }

// One bar of the full arrangement at bar index `bar` of the given section; `pattern` picks the body bar.
void FullBar(std::vector<Note>& out, int bar, int pattern) {
  const Chord& c = *kBody[pattern];
  double b0 = bar * 4.0;
  bool last = pattern == 15;
  // Drums: kick on the beats, snare on 2 and 4, eighth hats; the last bar has a snare fill.
  for (int beat = 0; beat < 4; ++beat) {
    if (!(last && beat >= 2)) out.push_back({kKick, b0 + beat, 0.5, 0, beat % 2 ? 0.75f : 0.9f, 0, Seed(pattern, beat, kKick)});
    if (beat % 2 == 1 && !last) out.push_back({kSnare, b0 + beat, 0.5, 0, 0.55f, 0.05f, Seed(pattern, beat, kSnare)});
    for (int h = 0; h < 2; ++h) {
      bool open = h == 1 && beat == 3 && pattern % 4 == 3 && !last;
      out.push_back({open ? kOpenHat : kHat, b0 + beat + h * 0.5, 0.25, 0, h ? 0.22f : 0.3f, 0.3f,
                     Seed(pattern, beat * 2 + h, kHat)});
    }
  }
  if (pattern % 2 == 1) out.push_back({kKick, b0 + 2.5, 0.5, 0, 0.6f, 0, Seed(pattern, 9, kKick)});
  if (last)
    for (int s = 0; s < 6; ++s)
      out.push_back({kSnare, b0 + 2 + s * 0.25, 0.25, 0, 0.3f + s * 0.06f, (s % 2 ? 0.2f : -0.2f), Seed(pattern, 10 + s, kSnare)});
  if (pattern == 0 || pattern == 8) out.push_back({kCrash, b0, 1, 0, 0.45f, -0.3f, Seed(pattern, 0, kCrash)});
  // Bass: driving eighths with an octave lift.
  for (int e = 0; e < 8; ++e) {
    float p = c.root + ((e == 3 || e == 6) ? 12.0f : 0.0f);
    if (last && e >= 4) p = c.root + (e == 4 ? 4.0f : e == 5 ? 7.0f : e == 6 ? 10.0f : 11.0f);
    out.push_back({kBass, b0 + e * 0.5, 0.42, p, 0.75f, 0, Seed(pattern, e, kBass)});
  }
  // Pad chord for the whole bar.
  for (int k = 0; k < 3; ++k) out.push_back({kPad, b0, 3.9, c.tones[k], 0.16f, (k - 1) * 0.5f, Seed(pattern, k, kPad)});
  // Sixteenth arpeggio over the chord.
  for (int s = 0; s < 16; ++s) {
    static const int order[4] = {0, 1, 2, 1};
    float p = c.tones[order[s % 4]] + 12 + (s / 4 % 2 ? 12 : 0);
    out.push_back({kArp, b0 + s * 0.25, 0.2, p, s % 4 == 0 ? 0.16f : 0.11f, (s % 2 ? 0.4f : -0.4f), Seed(pattern, s, kArp)});
  }
  // Lead with a ping-pong echo baked into the notes.
  for (const Phrase& ph : kMelody[pattern]) {
    out.push_back({kLead, b0 + ph.beat, ph.length * 0.92, ph.pitch, 0.3f, 0.05f, Seed(pattern, 0, kLead)});
    out.push_back({kLead, b0 + ph.beat + 0.75, ph.length * 0.6, ph.pitch, 0.1f, -0.6f, Seed(pattern, 1, kLead)});
    out.push_back({kLead, b0 + ph.beat + 1.5, ph.length * 0.5, ph.pitch, 0.05f, 0.6f, Seed(pattern, 2, kLead)});
  }
}

std::vector<Note> IntroNotes() {
  std::vector<Note> out;
  const Chord* chords[7] = {&kAm, &kAm, &kF, &kF, &kC, &kC, &kG};
  for (int bar = 0; bar < 7; ++bar) {
    const Chord& c = *chords[bar];
    double b0 = bar * 4.0;
    float rise = 0.4f + 0.6f * bar / 6.0f;
    // Pads end early enough that their release is over before the lead-in bar.
    for (int k = 0; k < 3; ++k)
      out.push_back({kPad, b0, bar == 6 ? 3.0 : 3.9, c.tones[k], 0.16f, (k - 1) * 0.5f, Seed(bar, k, kPad) + 99});
    for (int s = 0; s < 16; ++s) {
      static const int order[4] = {0, 1, 2, 1};
      float p = c.tones[order[s % 4]] + 12 + (s / 4 % 2 ? 12 : 0);
      if (bar < 6 || s < 12)
        out.push_back({kArp, b0 + s * 0.25, 0.2, p, (s % 4 == 0 ? 0.16f : 0.11f) * rise, (s % 2 ? 0.4f : -0.4f), 0});
    }
    if (bar >= 4) {
      for (int beat = 0; beat < 4; ++beat) {
        out.push_back({kKick, b0 + beat, 0.5, 0, 0.8f, 0, Seed(bar, beat, kKick) + 99});
        out.push_back({kHat, b0 + beat + 0.5, 0.25, 0, 0.22f, 0.3f, Seed(bar, beat, kHat) + 99});
      }
      for (int e = 0; e < 8; ++e)
        if (bar < 6 || e < 6) out.push_back({kBass, b0 + e * 0.5, 0.42, c.root, 0.7f, 0, Seed(bar, e, kBass) + 99});
    }
    if (bar == 4) out.push_back({kCrash, b0, 1, 0, 0.35f, 0.3f, 7});
  }
  // The lead-in bar is the body's last bar, note for note.
  FullBar(out, 7, 15);
  return out;
}

std::vector<Note> BodyNotes() {
  std::vector<Note> out;
  for (int bar = 0; bar < 16; ++bar) FullBar(out, bar, bar);
  return out;
}

}  // namespace

void MakeMusic(Output& out) {
  const size_t introLen = static_cast<size_t>(kLoopStart);
  const size_t loopLen = static_cast<size_t>(kLoopLength);
  Sound song(0);
  song.l.assign(introLen + loopLen, 0.0f);
  song.r.assign(introLen + loopLen, 0.0f);
  for (const Note& n : IntroNotes())
    RenderNote(n, n.beat * kBeat + kPickup, [&](long i, float l, float r) {
      // Whatever rings past the intro is continued by the body's wrapped tails.
      if (i >= 0 && static_cast<size_t>(i) < introLen) song.Add(static_cast<size_t>(i), l, r);
    });
  for (const Note& n : BodyNotes())
    RenderNote(n, n.beat * kBeat + kPickup, [&](long i, float l, float r) {
      size_t j = static_cast<size_t>(i) % loopLen;
      song.Add(introLen + j, l, r);
    });
  // A memoryless limiter keeps the loop seam intact.
  float peak = 0;
  for (size_t i = 0; i < song.size(); ++i) peak = std::max({peak, std::fabs(song.l[i]), std::fabs(song.r[i])});
  float gain = peak > 0 ? 1.1f / peak : 1.0f;
  const float level = kMusicPeak / SoftClip(1.1f);
  for (size_t i = 0; i < song.size(); ++i) {
    song.l[i] = level * SoftClip(song.l[i] * gain);
    song.r[i] = level * SoftClip(song.r[i] * gain);
  }
  // Fade in over the first few milliseconds only; the end must stay as it is for the loop.
  for (size_t i = 0; i < 64; ++i) {
    song.l[i] *= i / 64.0f;
    song.r[i] *= i / 64.0f;
  }
  out.Wav("res/mzk/tarvelon.wav", song);
}

}  // namespace resgen
