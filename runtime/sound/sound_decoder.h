// Sound decoding: one SoundDecoder per open source turns a WAVE (PCM or
// compressed), Ogg Vorbis or MPEG audio file, read through a StreamOps table,
// into 16- or 8-bit PCM, all at once or chunk by chunk with sample seeks.
#ifndef QUARNEX_RUNTIME_SOUND_SOUND_DECODER_H
#define QUARNEX_RUNTIME_SOUND_SOUND_DECODER_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/file/file.h"

namespace qx {

// The 18-byte wave format, field by field (little-endian on disk).
struct WaveFormat {
  uint16_t FormatTag;       // 1 = PCM
  uint16_t Channels;
  uint32_t SamplesPerSec;
  uint32_t AvgBytesPerSec;
  uint16_t BlockAlign;
  uint16_t BitsPerSample;
  uint16_t ExtraSize;
};
constexpr size_t kWaveFormatBytes = 18;

// Writes / reads the 18 on-disk bytes of a format.
void PackWaveFormat(const WaveFormat& format, uint8_t out[kWaveFormatBytes]);
WaveFormat UnpackWaveFormat(const uint8_t in[kWaveFormatBytes]);

enum SoundDecoderKind {
  kSoundDecoderPcmWave = 0,
  kSoundDecoderConverted = 1,  // compressed WAVE or MPEG audio
  kSoundDecoderOgg = 2,
};

struct SoundDecoderState;  // the kind's own state, owned by the decoder

// A decoder may be copied to another place between calls (only one copy used
// afterwards): nothing in its state points back into the record.

struct SoundDecoder {
  int kind;
  StreamOps ops;
  void* handle;
  WaveFormat format;         // output: always PCM (tag 1), extra size 0
  int64_t dataOffset;        // encoded data in the stream
  int64_t dataSize;
  uint8_t* work;             // decoded PCM not yet handed out
  size_t workSize;
  size_t available;
  size_t readPointer;
  int64_t position;          // byte offset in the decoded PCM of the next byte handed out
  int endFlag;
  int64_t loopStartTarget;   // byte offset of the loop start in decoded PCM, -1 when unset
  SoundDecoderState* state;
};

// Tries PCM WAVE, compressed WAVE, Ogg Vorbis and MPEG audio, in that order,
// each from offset 0 of the stream. 0 on success, -1 when none accepts it
// (nothing is left allocated then). The stream stays the caller's.
int SoundDecoderOpen(SoundDecoder* decoder, const StreamOps& ops, void* handle);
// Length of the decoded PCM in bytes, as used for sizing and stream totals.
int64_t SoundDecoderLength(const SoundDecoder* decoder);
// The length when the decoder knows it before decoding and SoundDecoderDecodeAll
// would accept it; -1 otherwise.
int64_t SoundDecoderExactLength(const SoundDecoder* decoder);
// Seeks to a sample (frame) index; 0 or -1.
int SoundDecoderSeek(SoundDecoder* decoder, int64_t sample);
// Copies up to `bytes` of PCM; returns the bytes delivered, 0 at the end.
size_t SoundDecoderRead(SoundDecoder* decoder, void* buffer, size_t bytes);
// Decodes the whole source from sample 0 into a block from MemAlloc; 0 or -1.
int SoundDecoderDecodeAll(SoundDecoder* decoder, uint8_t** pcm, size_t* pcmSize, WaveFormat* format);
// Sets the loop-start target (byte offset in decoded PCM) for cheap loop-backs.
void SoundDecoderSetLoopTarget(SoundDecoder* decoder, int64_t byteOffset);
void SoundDecoderClose(SoundDecoder* decoder);

// RIFF/WAVE image of PCM data in a block from MemAlloc; nullptr on failure.
uint8_t* BuildWaveImage(const WaveFormat& format, int formatSize, const void* pcm, size_t pcmSize,
                        size_t* imageSize);

}  // namespace qx

#endif
