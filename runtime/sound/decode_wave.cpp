// RIFF/WAVE: the chunk walk shared by the WAVE kinds, and PCM WAVE itself,
// read straight from the stream.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/sound/decode_internal.h"

namespace qx {

int ParseWaveChunks(SoundDecoder* decoder, WaveChunks* chunks) {
  memset(chunks, 0, sizeof(*chunks));
  chunks->factSamples = -1;
  const int64_t total = StreamTotalSize(decoder);
  uint8_t head[20];
  if (total < 20 || !StreamReadExact(decoder, head, sizeof(head))) return -1;
  if (memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WAVE", 4) != 0) return -1;
  // The format chunk must come first.
  if (memcmp(head + 12, "fmt ", 4) != 0) return -1;
  const uint32_t fmtSize = Le32(head + 16);
  if (fmtSize < 16 || fmtSize > total - 20) return -1;
  chunks->fmtSize = fmtSize;
  const size_t keep = fmtSize < sizeof(chunks->fmt) ? fmtSize : sizeof(chunks->fmt);
  if (!StreamReadExact(decoder, chunks->fmt, keep)) return -1;
  int64_t at = 20 + static_cast<int64_t>(fmtSize) + (fmtSize & 1);
  for (;;) {
    uint8_t header[8];
    if (at + 8 > total || !StreamSeekTo(decoder, at) || !StreamReadExact(decoder, header, 8)) return -1;
    const uint32_t size = Le32(header + 4);
    at += 8;
    if (memcmp(header, "data", 4) == 0) {
      // A data chunk cut short by the end of the file holds what is there.
      chunks->dataOffset = at;
      chunks->dataSize = size < total - at ? size : total - at;
      return 0;
    }
    if (size > total - at) return -1;
    if (memcmp(header, "fact", 4) == 0 && size >= 4) {
      uint8_t count[4];
      if (!StreamReadExact(decoder, count, 4)) return -1;
      chunks->factSamples = Le32(count);
    }
    at += static_cast<int64_t>(size) + (size & 1);
  }
}

namespace {

// Rates the mixer can be asked to resample; anything beyond is a damaged header.
constexpr uint32_t kMaxRate = 384000;

struct PcmState : SoundDecoderState {
  int64_t consumed;  // bytes of the data chunk read so far
};

PcmState* Pcm(const SoundDecoder* decoder) { return static_cast<PcmState*>(decoder->state); }

size_t PcmFill(SoundDecoder* decoder, uint8_t* out, size_t capacity) {
  PcmState* s = Pcm(decoder);
  const size_t align = decoder->format.BlockAlign;
  int64_t left = decoder->dataSize - s->consumed;
  size_t want = static_cast<int64_t>(capacity) < left ? capacity : static_cast<size_t>(left);
  want -= want % align;
  size_t got = StreamReadBytes(decoder, out, want);
  if (got < want) s->consumed = decoder->dataSize;  // the stream ended early: stop after this
  else s->consumed += static_cast<int64_t>(got);
  return got - got % align;
}

int64_t PcmSeek(SoundDecoder* decoder, int64_t sample) {
  int64_t offset = sample * decoder->format.BlockAlign;
  if (offset > decoder->dataSize) offset = decoder->dataSize;
  if (!StreamSeekTo(decoder, decoder->dataOffset + offset)) return -1;
  Pcm(decoder)->consumed = offset;
  return offset;
}

int64_t PcmLength(const SoundDecoder* decoder) { return decoder->dataSize; }

void PcmClose(SoundDecoder* decoder) {
  MemFree(decoder->state);
  decoder->state = nullptr;
}

const DecoderBackend kPcmBackend = {PcmFill, PcmSeek, PcmLength, PcmClose, true};

}  // namespace

int OpenPcmWave(SoundDecoder* decoder) {
  WaveChunks chunks;
  if (ParseWaveChunks(decoder, &chunks) != 0) return -1;
  const uint8_t* fmt = chunks.fmt;
  if (Le16(fmt) != 1) return -1;
  const uint16_t channels = Le16(fmt + 2);
  const uint32_t rate = Le32(fmt + 4);
  const uint16_t blockAlign = Le16(fmt + 12);
  uint16_t bits = Le16(fmt + 14);
  if (channels < 1 || channels > 2 || rate < 1 || rate > kMaxRate) return -1;
  // A bare 16-byte chunk is trusted for its block alignment, not its bits.
  if (chunks.fmtSize == 16) bits = static_cast<uint16_t>(blockAlign / channels * 8);
  if ((bits != 8 && bits != 16) || blockAlign != channels * bits / 8) return -1;
  const int64_t dataSize = chunks.dataSize - chunks.dataSize % blockAlign;
  if (dataSize == 0) return -1;

  PcmState* s = static_cast<PcmState*>(MemAllocZero(sizeof(PcmState)));
  if (!s) return -1;
  s->backend = &kPcmBackend;
  decoder->kind = kSoundDecoderPcmWave;
  decoder->state = s;
  decoder->format.FormatTag = 1;
  decoder->format.Channels = channels;
  decoder->format.SamplesPerSec = rate;
  // Derived, not copied: a wrong header value would size the work buffer and the stream ring.
  decoder->format.AvgBytesPerSec = rate * blockAlign;
  decoder->format.BlockAlign = blockAlign;
  decoder->format.BitsPerSample = bits;
  decoder->format.ExtraSize = 0;
  decoder->dataOffset = chunks.dataOffset;
  decoder->dataSize = dataSize;
  decoder->workSize = decoder->format.AvgBytesPerSec;
  if (!StreamSeekTo(decoder, chunks.dataOffset)) {
    PcmClose(decoder);
    return -1;
  }
  return 0;
}

}  // namespace qx
