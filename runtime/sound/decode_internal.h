// What the decoder kinds share: the stream helpers, the WAVE chunk walk and
// the table of operations every kind fills in.
#ifndef QUARNEX_RUNTIME_SOUND_DECODE_INTERNAL_H
#define QUARNEX_RUNTIME_SOUND_DECODE_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/sound/sound_decoder.h"

namespace qx {

struct DecoderBackend {
  // Decodes the next piece of PCM into out (at most capacity bytes, always a
  // whole number of sample frames); 0 at the end of the data.
  size_t (*Fill)(SoundDecoder* decoder, uint8_t* out, size_t capacity);
  // Positions the kind at or before the sample; returns the decoded byte
  // offset the next Fill starts at, -1 on failure.
  int64_t (*Seek)(SoundDecoder* decoder, int64_t sample);
  int64_t (*Length)(const SoundDecoder* decoder);
  void (*Close)(SoundDecoder* decoder);
  // False when Length is only an upper estimate.
  bool exactLength;
};

// Each kind's state starts with this record.
struct SoundDecoderState {
  const DecoderBackend* backend;
};

// Decoded sounds are limited to what the stream engine's int counters hold.
constexpr int64_t kMaxDecodedBytes = 0x7FFFFFFF;
// First block of a whole decode whose length is an estimate.
constexpr size_t kDecodeAllStartBytes = 1 << 20;

// Stream helpers over the decoder's copy of the StreamOps.
size_t StreamReadBytes(SoundDecoder* decoder, void* buffer, size_t bytes);
bool StreamReadExact(SoundDecoder* decoder, void* buffer, size_t bytes);
bool StreamSeekTo(SoundDecoder* decoder, int64_t offset);
// Size of the whole stream, the position left at 0; -1 when unknown.
int64_t StreamTotalSize(SoundDecoder* decoder);

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// A RIFF/WAVE file after its chunk walk.
struct WaveChunks {
  uint8_t fmt[256];      // the first bytes of the format chunk
  uint32_t fmtSize;      // the chunk's own size (may exceed sizeof fmt)
  int64_t dataOffset;
  int64_t dataSize;
  int64_t factSamples;   // -1 without a "fact" chunk
};
// "RIFF", "WAVE", "fmt " first, then chunks up to "data"; every chunk must lie
// inside the stream. 0 or -1.
int ParseWaveChunks(SoundDecoder* decoder, WaveChunks* chunks);

// The kinds, tried by SoundDecoderOpen in this order. Each sets format, data
// offset and size, work size and state, or returns -1 with nothing allocated.
int OpenPcmWave(SoundDecoder* decoder);
int OpenConvertedWave(SoundDecoder* decoder);
int OpenOggVorbis(SoundDecoder* decoder);
int OpenMpegAudio(SoundDecoder* decoder);
// MPEG Layer-3 frames inside a WAVE data chunk (format tag 0x55).
int OpenMpegInWave(SoundDecoder* decoder, const WaveChunks& chunks);

// 16-bit PCM output format of the converted kinds.
WaveFormat Pcm16Format(int channels, uint32_t rate);

}  // namespace qx

#endif
