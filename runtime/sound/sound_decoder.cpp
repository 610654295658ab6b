// The decoder front: tries each kind in turn, hands out PCM through a work
// buffer, and seeks by sample. The kinds live in decode_*.cpp.
#include "runtime/sound/sound_decoder.h"

#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/sound/decode_internal.h"

namespace qx {

void PackWaveFormat(const WaveFormat& format, uint8_t out[kWaveFormatBytes]) {
  auto put16 = [&](int at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
  };
  put16(0, format.FormatTag);
  put16(2, format.Channels);
  put32(4, format.SamplesPerSec);
  put32(8, format.AvgBytesPerSec);
  put16(12, format.BlockAlign);
  put16(14, format.BitsPerSample);
  put16(16, format.ExtraSize);
}

WaveFormat UnpackWaveFormat(const uint8_t in[kWaveFormatBytes]) {
  WaveFormat f;
  f.FormatTag = Le16(in);
  f.Channels = Le16(in + 2);
  f.SamplesPerSec = Le32(in + 4);
  f.AvgBytesPerSec = Le32(in + 8);
  f.BlockAlign = Le16(in + 12);
  f.BitsPerSample = Le16(in + 14);
  f.ExtraSize = Le16(in + 16);
  return f;
}

WaveFormat Pcm16Format(int channels, uint32_t rate) {
  WaveFormat f;
  f.FormatTag = 1;
  f.Channels = static_cast<uint16_t>(channels);
  f.SamplesPerSec = rate;
  f.BlockAlign = static_cast<uint16_t>(channels * 2);
  f.AvgBytesPerSec = rate * f.BlockAlign;
  f.BitsPerSample = 16;
  f.ExtraSize = 0;
  return f;
}

// Element size 1 makes every stream table answer in bytes, short reads
// included (a memory stream answers whole elements otherwise).
size_t StreamReadBytes(SoundDecoder* decoder, void* buffer, size_t bytes) {
  if (bytes == 0) return 0;
  size_t got = decoder->ops.Read(buffer, 1, bytes, decoder->handle);
  return got > bytes ? 0 : got;
}

bool StreamReadExact(SoundDecoder* decoder, void* buffer, size_t bytes) {
  return StreamReadBytes(decoder, buffer, bytes) == bytes;
}

bool StreamSeekTo(SoundDecoder* decoder, int64_t offset) {
  return decoder->ops.Seek(decoder->handle, offset, 0) == 0 && decoder->ops.Tell(decoder->handle) == offset;
}

int64_t StreamTotalSize(SoundDecoder* decoder) {
  if (decoder->ops.Seek(decoder->handle, 0, 2) != 0) return -1;
  int64_t size = decoder->ops.Tell(decoder->handle);
  if (!StreamSeekTo(decoder, 0)) return -1;
  return size;
}

namespace {

const DecoderBackend* Backend(const SoundDecoder* decoder) { return decoder->state->backend; }

void ResetDecoder(SoundDecoder* decoder, const StreamOps& ops, void* handle) {
  memset(decoder, 0, sizeof(*decoder));
  decoder->ops = ops;
  decoder->handle = handle;
  decoder->loopStartTarget = -1;
}

// Refills an empty work buffer; false at the end of the data.
bool Refill(SoundDecoder* decoder) {
  if (decoder->endFlag) return false;
  size_t n = Backend(decoder)->Fill(decoder, decoder->work, decoder->workSize);
  if (n == 0) {
    decoder->endFlag = 1;
    return false;
  }
  decoder->available = n;
  decoder->readPointer = 0;
  return true;
}

}  // namespace

int SoundDecoderOpen(SoundDecoder* decoder, const StreamOps& ops, void* handle) {
  static int (*const kKinds[])(SoundDecoder*) = {OpenPcmWave, OpenConvertedWave, OpenOggVorbis, OpenMpegAudio};
  for (auto open : kKinds) {
    ResetDecoder(decoder, ops, handle);
    if (!StreamSeekTo(decoder, 0)) continue;
    if (open(decoder) != 0) continue;
    decoder->work = static_cast<uint8_t*>(MemAlloc(decoder->workSize));
    if (!decoder->work) {
      SoundDecoderClose(decoder);
      return -1;
    }
    return 0;
  }
  ResetDecoder(decoder, ops, handle);
  return -1;
}

int64_t SoundDecoderLength(const SoundDecoder* decoder) {
  if (!decoder->state) return -1;
  return Backend(decoder)->Length(decoder);
}

int64_t SoundDecoderExactLength(const SoundDecoder* decoder) {
  if (!decoder->state || !Backend(decoder)->exactLength) return -1;
  const int64_t length = SoundDecoderLength(decoder);
  return length > 0 && length <= kMaxDecodedBytes ? length : -1;
}

size_t SoundDecoderRead(SoundDecoder* decoder, void* buffer, size_t bytes) {
  if (!decoder->state) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    if (decoder->available == 0 && !Refill(decoder)) break;
    size_t take = decoder->available < bytes - done ? decoder->available : bytes - done;
    memcpy(out + done, decoder->work + decoder->readPointer, take);
    decoder->readPointer += take;
    decoder->available -= take;
    decoder->position += static_cast<int64_t>(take);
    done += take;
  }
  return done;
}

// Every kind positions itself directly (block, page or frame index), so a
// loop-back costs at most one block of decoding and is exact to the sample.
int SoundDecoderSeek(SoundDecoder* decoder, int64_t sample) {
  if (!decoder->state || sample < 0) return -1;
  const int64_t target = sample * decoder->format.BlockAlign;
  if (target == decoder->position) return 0;
  decoder->endFlag = 0;
  if (target > decoder->position && target - decoder->position <= static_cast<int64_t>(decoder->available)) {
    size_t skip = static_cast<size_t>(target - decoder->position);
    decoder->readPointer += skip;
    decoder->available -= skip;
    decoder->position = target;
    return 0;
  }
  int64_t landed = Backend(decoder)->Seek(decoder, sample);
  decoder->available = 0;
  decoder->readPointer = 0;
  if (landed < 0 || landed > target) {
    decoder->position = 0;
    decoder->endFlag = 1;
    return -1;
  }
  decoder->position = landed;
  while (decoder->position < target) {
    if (decoder->available == 0 && !Refill(decoder)) break;  // past the end: reads give 0
    int64_t gap = target - decoder->position;
    size_t skip = static_cast<int64_t>(decoder->available) < gap ? decoder->available : static_cast<size_t>(gap);
    decoder->readPointer += skip;
    decoder->available -= skip;
    decoder->position += static_cast<int64_t>(skip);
  }
  return 0;
}

int SoundDecoderDecodeAll(SoundDecoder* decoder, uint8_t** pcm, size_t* pcmSize, WaveFormat* format) {
  *pcm = nullptr;
  *pcmSize = 0;
  if (!decoder->state) return -1;
  const int64_t length = SoundDecoderLength(decoder);
  if (length <= 0 || length > kMaxDecodedBytes) return -1;
  if (SoundDecoderSeek(decoder, 0) != 0) return -1;
  // Lengths that are estimates (Ogg) start smaller and grow, so a damaged
  // header cannot make us claim gigabytes for a few bytes of data.
  size_t capacity = static_cast<size_t>(length);
  if (!Backend(decoder)->exactLength && capacity > kDecodeAllStartBytes) capacity = kDecodeAllStartBytes;
  uint8_t* block = static_cast<uint8_t*>(MemAlloc(capacity));
  if (!block) return -1;
  size_t size = 0;
  for (;;) {
    size += SoundDecoderRead(decoder, block + size, capacity - size);
    if (size < capacity || capacity == static_cast<size_t>(length)) break;
    size_t grown = capacity * 2 < static_cast<size_t>(length) ? capacity * 2 : static_cast<size_t>(length);
    uint8_t* bigger = static_cast<uint8_t*>(MemAlloc(grown));
    if (!bigger) {
      MemFree(block);
      return -1;
    }
    memcpy(bigger, block, size);
    MemFree(block);
    block = bigger;
    capacity = grown;
  }
  if (size == 0) {
    MemFree(block);
    return -1;
  }
  *pcm = block;
  *pcmSize = size;
  *format = decoder->format;
  return 0;
}

// Kept for the stream engine; seeks need no look-ahead here (see SoundDecoderSeek).
void SoundDecoderSetLoopTarget(SoundDecoder* decoder, int64_t byteOffset) { decoder->loopStartTarget = byteOffset; }

void SoundDecoderClose(SoundDecoder* decoder) {
  if (decoder->state) Backend(decoder)->Close(decoder);
  if (decoder->work) MemFree(decoder->work);
  ResetDecoder(decoder, decoder->ops, decoder->handle);
}

uint8_t* BuildWaveImage(const WaveFormat& format, int formatSize, const void* pcm, size_t pcmSize,
                        size_t* imageSize) {
  *imageSize = 0;
  if (formatSize != 16 && formatSize != static_cast<int>(kWaveFormatBytes)) return nullptr;
  const size_t header = static_cast<size_t>(formatSize) + 28;
  if (pcmSize > 0xFFFFFFFFu - header) return nullptr;
  const size_t total = header + pcmSize;
  uint8_t* image = static_cast<uint8_t*>(MemAlloc(total));
  if (!image) return nullptr;
  auto put32 = [](uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  };
  uint8_t packed[kWaveFormatBytes];
  PackWaveFormat(format, packed);
  uint8_t* p = image;
  memcpy(p, "RIFF", 4);
  put32(p + 4, static_cast<uint32_t>(total - 8));
  memcpy(p + 8, "WAVEfmt ", 8);
  put32(p + 16, static_cast<uint32_t>(formatSize));
  memcpy(p + 20, packed, static_cast<size_t>(formatSize));
  p += 20 + formatSize;
  memcpy(p, "data", 4);
  put32(p + 4, static_cast<uint32_t>(pcmSize));
  if (pcmSize) memcpy(p + 8, pcm, pcmSize);
  *imageSize = total;
  return image;
}

}  // namespace qx
