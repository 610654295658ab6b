// Compressed WAVE decoded to 16-bit PCM by our own codecs: IMA ADPCM (0x11),
// Microsoft ADPCM (0x02), µ-law (0x07) and A-law (0x06). ADPCM blocks decode
// independently, so a seek costs at most one block. MPEG Layer-3 inside WAVE
// (0x55) is handed to the MPEG kind.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/sound/decode_internal.h"

namespace qx {

namespace {

enum Codec { kImaAdpcm = 0x11, kMsAdpcm = 0x02, kMuLaw = 0x07, kALaw = 0x06 };

constexpr uint32_t kMaxRate = 384000;
constexpr int kMaxCoefficients = 32;
// µ-law and A-law are decoded this many sample frames at a time.
constexpr uint32_t kG711Frames = 4096;

struct CompressedState : SoundDecoderState {
  int codec;
  int channels;
  uint32_t blockAlign;       // source bytes per block (one sample frame for µ-law and A-law)
  uint32_t samplesPerBlock;  // sample frames per full block
  int64_t totalFrames;
  int64_t frame;             // next sample frame Fill produces
  int64_t block;             // next source block
  int numCoefficients;
  int16_t coefficients[kMaxCoefficients][2];
  uint8_t* source;           // one block of source bytes
  size_t sourceSize;
};

CompressedState* State(const SoundDecoder* decoder) { return static_cast<CompressedState*>(decoder->state); }

inline int16_t Clamp16(int v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
inline void Store16(uint8_t* out, int16_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

const int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
  int predictor;
  int index;
};

inline int16_t ImaNibble(ImaChannel* c, int nibble) {
  const int step = kImaStep[c->index];
  int diff = step >> 3;
  if (nibble & 4) diff += step;
  if (nibble & 2) diff += step >> 1;
  if (nibble & 1) diff += step >> 2;
  c->predictor = Clamp16(nibble & 8 ? c->predictor - diff : c->predictor + diff);
  c->index += kImaIndex[nibble];
  c->index = c->index < 0 ? 0 : c->index > 88 ? 88 : c->index;
  return static_cast<int16_t>(c->predictor);
}

// Sample frames in a block of `bytes` source bytes (the last block may be short).
int64_t FramesInBlock(const CompressedState* s, size_t bytes) {
  const size_t ch = static_cast<size_t>(s->channels);
  if (bytes == s->blockAlign) return s->samplesPerBlock;
  if (s->codec == kImaAdpcm) return bytes < 4 * ch ? 0 : 1 + static_cast<int64_t>((bytes - 4 * ch) / (4 * ch) * 8);
  return bytes < 7 * ch ? 0 : 2 + static_cast<int64_t>((bytes - 7 * ch) * 2 / ch);
}

// Decodes `frames` sample frames of one IMA block; false for a damaged header.
bool DecodeImaBlock(const CompressedState* s, const uint8_t* in, int64_t frames, uint8_t* out) {
  const int ch = s->channels;
  ImaChannel state[2];
  for (int c = 0; c < ch; ++c) {
    state[c].predictor = static_cast<int16_t>(Le16(in + 4 * c));
    state[c].index = in[4 * c + 2];
    if (state[c].index > 88) return false;
    Store16(out + 2 * c, static_cast<int16_t>(state[c].predictor));
  }
  const uint8_t* data = in + 4 * ch;
  // After the header, each channel has 4 bytes (8 samples, low nibble first) in turn.
  for (int64_t f = 1; f < frames; ++f) {
    const int64_t k = f - 1;
    for (int c = 0; c < ch; ++c) {
      const uint8_t byte = data[(k / 8) * 4 * ch + c * 4 + (k % 8) / 2];
      const int nibble = k % 2 ? byte >> 4 : byte & 15;
      Store16(out + (f * ch + c) * 2, ImaNibble(&state[c], nibble));
    }
  }
  return true;
}

constexpr int kMaxMsDelta = 0x7FFFFF;
const int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

bool DecodeMsBlock(const CompressedState* s, const uint8_t* in, int64_t frames, uint8_t* out) {
  const int ch = s->channels;
  int c1[2], c2[2], delta[2], sample1[2], sample2[2];
  for (int c = 0; c < ch; ++c) {
    const int predictor = in[c];
    if (predictor >= s->numCoefficients) return false;
    c1[c] = s->coefficients[predictor][0];
    c2[c] = s->coefficients[predictor][1];
    delta[c] = static_cast<int16_t>(Le16(in + ch + 2 * c));
    sample1[c] = static_cast<int16_t>(Le16(in + 3 * ch + 2 * c));
    sample2[c] = static_cast<int16_t>(Le16(in + 5 * ch + 2 * c));
    // The older sample comes out first.
    Store16(out + 2 * c, static_cast<int16_t>(sample2[c]));
    if (frames > 1) Store16(out + (ch + c) * 2, static_cast<int16_t>(sample1[c]));
  }
  const uint8_t* data = in + 7 * ch;
  // Nibbles high first, channels interleaved nibble by nibble.
  for (int64_t n = 0; n < (frames - 2) * ch; ++n) {
    const int c = static_cast<int>(n % ch);
    const int code = n % 2 ? data[n / 2] & 15 : data[n / 2] >> 4;
    const int signedCode = code >= 8 ? code - 16 : code;
    // Coefficients come from the file: the products may not fit an int.
    const int predicted = static_cast<int>((int64_t{sample1[c]} * c1[c] + int64_t{sample2[c]} * c2[c]) >> 8);
    const int16_t sample = Clamp16(predicted + signedCode * delta[c]);
    sample2[c] = sample1[c];
    sample1[c] = sample;
    delta[c] = static_cast<int>(int64_t{kMsAdaptation[code]} * delta[c] >> 8);
    if (delta[c] < 16) delta[c] = 16;
    // Damaged data could grow the step without end; real streams stay far below.
    if (delta[c] > kMaxMsDelta) delta[c] = kMaxMsDelta;
    Store16(out + (2 * ch + n) * 2, sample);
  }
  return true;
}

int16_t MuLawToLinear(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return static_cast<int16_t>(u & 0x80 ? 0x84 - t : t - 0x84);
}

int16_t ALawToLinear(uint8_t a) {
  a ^= 0x55;
  int t = (a & 0x0F) << 4;
  const int segment = (a & 0x70) >> 4;
  if (segment == 0) t += 8;
  else t = (t + 0x108) << (segment - 1);
  return static_cast<int16_t>(a & 0x80 ? t : -t);
}

size_t FillG711(SoundDecoder* decoder, CompressedState* s, uint8_t* out, size_t capacity) {
  const int ch = s->channels;
  int64_t frames = static_cast<int64_t>(capacity / decoder->format.BlockAlign);
  if (frames > kG711Frames) frames = kG711Frames;
  if (frames > s->totalFrames - s->frame) frames = s->totalFrames - s->frame;
  if (frames <= 0) return 0;
  const size_t want = static_cast<size_t>(frames) * static_cast<size_t>(ch);
  const size_t got = StreamReadBytes(decoder, s->source, want);
  frames = static_cast<int64_t>(got) / ch;
  if (got < want) s->totalFrames = s->frame + frames;  // the stream ended early
  for (int64_t i = 0; i < frames * ch; ++i)
    Store16(out + 2 * i, s->codec == kMuLaw ? MuLawToLinear(s->source[i]) : ALawToLinear(s->source[i]));
  s->frame += frames;
  return static_cast<size_t>(frames) * decoder->format.BlockAlign;
}

size_t CompressedFill(SoundDecoder* decoder, uint8_t* out, size_t capacity) {
  CompressedState* s = State(decoder);
  if (s->codec == kMuLaw || s->codec == kALaw) return FillG711(decoder, s, out, capacity);
  const size_t outAlign = decoder->format.BlockAlign;
  size_t produced = 0;
  size_t sourceRead = 0;
  // Whole blocks while they fit, about 2 KB of source at a time.
  while (s->frame < s->totalFrames && sourceRead < 2048) {
    int64_t blockStart = s->block * s->blockAlign;
    int64_t bytes = decoder->dataSize - blockStart;
    if (bytes > s->blockAlign) bytes = s->blockAlign;
    int64_t frames = bytes > 0 ? FramesInBlock(s, static_cast<size_t>(bytes)) : 0;
    if (frames > s->totalFrames - s->frame) frames = s->totalFrames - s->frame;
    if (frames <= 0 || static_cast<size_t>(frames) * outAlign > capacity - produced) break;
    if (!StreamReadExact(decoder, s->source, static_cast<size_t>(bytes))) {
      s->totalFrames = s->frame;
      break;
    }
    const bool ok = s->codec == kImaAdpcm ? DecodeImaBlock(s, s->source, frames, out + produced)
                                          : DecodeMsBlock(s, s->source, frames, out + produced);
    if (!ok) {
      s->totalFrames = s->frame;  // a damaged block ends the data
      break;
    }
    produced += static_cast<size_t>(frames) * outAlign;
    sourceRead += static_cast<size_t>(bytes);
    s->frame += frames;
    ++s->block;
  }
  return produced;
}

int64_t CompressedSeek(SoundDecoder* decoder, int64_t sample) {
  CompressedState* s = State(decoder);
  if (sample > s->totalFrames) sample = s->totalFrames;
  const int64_t block = sample / s->samplesPerBlock;
  if (!StreamSeekTo(decoder, decoder->dataOffset + block * s->blockAlign)) return -1;
  s->block = block;
  s->frame = block * s->samplesPerBlock;
  return s->frame * decoder->format.BlockAlign;
}

int64_t CompressedLength(const SoundDecoder* decoder) { return State(decoder)->totalFrames * decoder->format.BlockAlign; }

void CompressedClose(SoundDecoder* decoder) {
  CompressedState* s = State(decoder);
  if (s->source) MemFree(s->source);
  MemFree(s);
  decoder->state = nullptr;
}

const DecoderBackend kCompressedBackend = {CompressedFill, CompressedSeek, CompressedLength, CompressedClose, true};

// Reads the codec's layout from the format chunk into s; false when it is not one we decode.
bool ReadLayout(const WaveChunks& chunks, CompressedState* s) {
  const uint8_t* fmt = chunks.fmt;
  const uint32_t fmtSize = chunks.fmtSize;
  const int ch = s->channels;
  const uint16_t bits = Le16(fmt + 14);
  const uint16_t extra = fmtSize >= 18 ? Le16(fmt + 16) : 0;
  switch (s->codec) {
    case kMuLaw:
    case kALaw:
      if (bits != 8 || s->blockAlign != static_cast<uint32_t>(ch)) return false;
      s->samplesPerBlock = 1;
      return true;
    case kImaAdpcm: {
      const uint32_t group = 4 * static_cast<uint32_t>(ch);
      if (bits != 4 || s->blockAlign <= group || s->blockAlign % group != 0) return false;
      s->samplesPerBlock = (s->blockAlign - group) / group * 8 + 1;
      if (extra >= 2 && fmtSize >= 20) {
        const uint32_t given = Le16(fmt + 18);
        if (given > s->samplesPerBlock || given % 8 != 1) return false;
        s->samplesPerBlock = given;
      }
      return true;
    }
    case kMsAdpcm: {
      const uint32_t header = 7 * static_cast<uint32_t>(ch);
      if (bits != 4 || s->blockAlign <= header || extra < 4 || fmtSize < 22) return false;
      const uint32_t most = (s->blockAlign - header) * 2 / static_cast<uint32_t>(ch) + 2;
      s->samplesPerBlock = Le16(fmt + 18);
      s->numCoefficients = Le16(fmt + 20);
      if (s->samplesPerBlock < 2 || s->samplesPerBlock > most) return false;
      if (s->numCoefficients < 1 || s->numCoefficients > kMaxCoefficients ||
          22u + 4u * static_cast<uint32_t>(s->numCoefficients) > fmtSize)
        return false;
      for (int i = 0; i < s->numCoefficients; ++i) {
        s->coefficients[i][0] = static_cast<int16_t>(Le16(fmt + 22 + 4 * i));
        s->coefficients[i][1] = static_cast<int16_t>(Le16(fmt + 24 + 4 * i));
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

int OpenConvertedWave(SoundDecoder* decoder) {
  WaveChunks chunks;
  if (ParseWaveChunks(decoder, &chunks) != 0) return -1;
  const int tag = Le16(chunks.fmt);
  if (tag == 0x55) return OpenMpegInWave(decoder, chunks);
  const int channels = Le16(chunks.fmt + 2);
  const uint32_t rate = Le32(chunks.fmt + 4);
  if (channels < 1 || channels > 2 || rate < 1 || rate > kMaxRate) return -1;

  CompressedState layout{};
  layout.codec = tag;
  layout.channels = channels;
  layout.blockAlign = Le16(chunks.fmt + 12);
  if (!ReadLayout(chunks, &layout)) return -1;
  const int64_t blocks = chunks.dataSize / layout.blockAlign;
  const int64_t rest = chunks.dataSize % layout.blockAlign;
  int64_t frames = blocks * layout.samplesPerBlock + (rest ? FramesInBlock(&layout, static_cast<size_t>(rest)) : 0);
  // A "fact" chunk may only shorten the last block's padding away.
  if (chunks.factSamples >= 0 && chunks.factSamples < frames && tag != kMuLaw && tag != kALaw)
    frames = chunks.factSamples;
  const WaveFormat out = Pcm16Format(channels, rate);
  if (frames <= 0 || frames * out.BlockAlign > kMaxDecodedBytes) return -1;

  CompressedState* s = static_cast<CompressedState*>(MemAllocZero(sizeof(CompressedState)));
  if (!s) return -1;
  *s = layout;
  s->backend = &kCompressedBackend;
  s->totalFrames = frames;
  s->sourceSize = tag == kMuLaw || tag == kALaw ? kG711Frames * static_cast<size_t>(channels) : layout.blockAlign;
  s->source = static_cast<uint8_t*>(MemAlloc(s->sourceSize));
  decoder->state = s;
  if (!s->source || !StreamSeekTo(decoder, chunks.dataOffset)) {
    CompressedClose(decoder);
    return -1;
  }
  decoder->kind = kSoundDecoderConverted;
  decoder->format = out;
  decoder->dataOffset = chunks.dataOffset;
  decoder->dataSize = chunks.dataSize;
  // One second of output, and never less than one whole block.
  size_t work = out.AvgBytesPerSec;
  const size_t blockOut = static_cast<size_t>(layout.samplesPerBlock) * out.BlockAlign;
  decoder->workSize = work > blockOut ? work : blockOut;
  return 0;
}

}  // namespace qx
