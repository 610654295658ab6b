#include "runtime/platform/sound_mixer.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "runtime/platform/process_memory.h"

namespace qx {

// One block of PCM shared by a buffer and its duplicates.
struct MixerBlock {
  uint8_t* bytes;
  size_t size;
  int references;
  bool mapped;  // from MapLargeBlock: a long sound's samples in huge pages
};

struct PlatformSoundBuffer {
  MixerBlock* block;
  int channels;
  int bits;
  int rate;
  size_t frameBytes;
  size_t frames;
  uint64_t position;  // frames, 32.32 fixed point
  uint64_t step;      // source frames per device frame, 32.32
  int32_t gain;       // 1/65536
  int playing;
  int looping;
  PlatformSoundBuffer* prev;  // in the playing list while playing
  PlatformSoundBuffer* next;
};

namespace {

constexpr size_t kChunkFrames = 1024;

struct Mixer {
  std::mutex mutex;
  int rate = 0;
  void (*sync)() = nullptr;
  PlatformSoundBuffer* playing = nullptr;
  int32_t accumulator[kChunkFrames * 2];
};

Mixer g_mixer;

// Called with the lock held.
void Sync() {
  if (g_mixer.sync) g_mixer.sync();
}

void Link(PlatformSoundBuffer* b) {
  b->prev = nullptr;
  b->next = g_mixer.playing;
  if (g_mixer.playing) g_mixer.playing->prev = b;
  g_mixer.playing = b;
}

void Unlink(PlatformSoundBuffer* b) {
  if (b->prev) {
    b->prev->next = b->next;
  } else if (g_mixer.playing == b) {
    g_mixer.playing = b->next;
  }
  if (b->next) b->next->prev = b->prev;
  b->prev = b->next = nullptr;
}

inline int32_t Sample16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }
inline int32_t Sample8(const uint8_t* p) { return (static_cast<int32_t>(p[0]) - 128) * 256; }

template <int Bits>
inline int32_t SampleAt(const uint8_t* p) {
  if constexpr (Bits == 16) {
    return Sample16(p);
  } else {
    return Sample8(p);
  }
}

// Adds up to `frames` device frames of one buffer into acc; returns false
// when a one-shot buffer has reached its end.
template <int Bits, int Channels>
bool MixBuffer(PlatformSoundBuffer* b, int32_t* acc, size_t frames) {
  const uint8_t* data = b->block->bytes;
  const uint64_t total = static_cast<uint64_t>(b->frames) << 32;
  const int32_t gain = b->gain;
  const uint64_t step = b->step;
  uint64_t pos = b->position;
  constexpr size_t kSampleBytes = Bits / 8;
  constexpr size_t kFrameBytes = kSampleBytes * Channels;
  const bool exact = step == (uint64_t{1} << 32);
  for (size_t i = 0; i < frames; ++i) {
    const size_t index = static_cast<size_t>(pos >> 32);
    const uint8_t* p = data + index * kFrameBytes;
    int32_t left = SampleAt<Bits>(p);
    int32_t right = Channels == 2 ? SampleAt<Bits>(p + kSampleBytes) : left;
    if (!exact) {
      // Linear interpolation towards the next frame (the first one again when looping).
      const int32_t fraction = static_cast<int32_t>((pos >> 16) & 0xFFFF);
      size_t nextIndex = index + 1;
      if (nextIndex >= b->frames) nextIndex = b->looping ? 0 : index;
      const uint8_t* q = data + nextIndex * kFrameBytes;
      int32_t nextLeft = SampleAt<Bits>(q);
      int32_t nextRight = Channels == 2 ? SampleAt<Bits>(q + kSampleBytes) : nextLeft;
      left += static_cast<int32_t>((static_cast<int64_t>(nextLeft - left) * fraction) >> 16);
      right += static_cast<int32_t>((static_cast<int64_t>(nextRight - right) * fraction) >> 16);
    }
    acc[2 * i] += (left * gain) >> 16;
    acc[2 * i + 1] += (right * gain) >> 16;
    pos += step;
    if (pos >= total) {
      if (!b->looping) {
        // A finished one-shot buffer starts from the top when played again.
        b->position = 0;
        return false;
      }
      // A high rate steps over more than a short buffer's length at once.
      pos = pos - total < total ? pos - total : pos % total;
    }
  }
  b->position = pos;
  return true;
}

bool MixAny(PlatformSoundBuffer* b, int32_t* acc, size_t frames) {
  if (b->bits == 16) return b->channels == 2 ? MixBuffer<16, 2>(b, acc, frames) : MixBuffer<16, 1>(b, acc, frames);
  return b->channels == 2 ? MixBuffer<8, 2>(b, acc, frames) : MixBuffer<8, 1>(b, acc, frames);
}

inline int16_t Saturate(int32_t v) {
  if (v > 32767) return 32767;
  if (v < -32768) return -32768;
  return static_cast<int16_t>(v);
}

uint64_t StepFor(int sourceRate) {
  return (static_cast<uint64_t>(sourceRate) << 32) / static_cast<uint64_t>(g_mixer.rate);
}

bool ValidFormat(int channels, int bits, int rate) {
  return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) && rate >= kSoundBufferMinRate && rate <= kSoundBufferMaxRate;
}

void FreeBytes(uint8_t* bytes, size_t size, bool mapped) {
  if (mapped) {
    UnmapLargeBlock(bytes, 0, size);
  } else {
    free(bytes);
  }
}

// A new buffer's pages are taken while the sound loads: a stream's ring is
// first written once the game runs, where a few hundred page faults would
// cost a frame its time.
void TakePages(uint8_t* bytes, size_t size) {
  volatile uint8_t* p = bytes;
  for (size_t i = 0; i < size; i += 4096) p[i] = 0;
}

PlatformSoundBuffer* CreateBuffer(int channels, int bits, int rate, size_t bytes) {
  if (!ValidFormat(channels, bits, rate) || MixerDeviceRate() == 0) return nullptr;
  const size_t frameBytes = static_cast<size_t>(channels * bits / 8);
  // Whole frames only; an empty buffer has nothing to play.
  if (bytes < frameBytes || bytes % frameBytes != 0) return nullptr;
  MixerBlock* block = static_cast<MixerBlock*>(calloc(1, sizeof(MixerBlock)));
  PlatformSoundBuffer* b = static_cast<PlatformSoundBuffer*>(calloc(1, sizeof(PlatformSoundBuffer)));
  uint8_t* bytesBlock = static_cast<uint8_t*>(MapLargeBlock(0, bytes));
  const bool mapped = bytesBlock != nullptr;
  if (!mapped) {
    bytesBlock = static_cast<uint8_t*>(calloc(1, bytes));
    if (bytesBlock) TakePages(bytesBlock, bytes);
  }
  if (!block || !b || !bytesBlock) {
    free(block);
    free(b);
    FreeBytes(bytesBlock, bytes, mapped);
    return nullptr;
  }
  block->bytes = bytesBlock;
  block->mapped = mapped;
  block->size = bytes;
  block->references = 1;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  b->block = block;
  b->channels = channels;
  b->bits = bits;
  b->rate = rate;
  b->frameBytes = frameBytes;
  b->frames = bytes / frameBytes;
  b->step = StepFor(rate);
  b->gain = 65536;
  return b;
}

PlatformSoundBuffer* DuplicateBuffer(PlatformSoundBuffer* source) {
  if (!source) return nullptr;
  PlatformSoundBuffer* b = static_cast<PlatformSoundBuffer*>(calloc(1, sizeof(PlatformSoundBuffer)));
  if (!b) return nullptr;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  *b = *source;
  b->block->references++;
  b->position = 0;
  b->playing = 0;
  b->looping = 0;
  b->gain = 65536;  // a duplicate shares the samples, not the volume
  b->prev = b->next = nullptr;
  return b;
}

void ReleaseBuffer(PlatformSoundBuffer* b) {
  if (!b) return;
  MixerBlock* block;
  {
    std::lock_guard<std::mutex> lock(g_mixer.mutex);
    Sync();
    if (b->playing) Unlink(b);
    block = b->block;
    if (--block->references > 0) block = nullptr;
  }
  if (block) {
    FreeBytes(block->bytes, block->size, block->mapped);
    free(block);
  }
  free(b);
}

int Lock(PlatformSoundBuffer* b, size_t offset, size_t bytes, void** part1, size_t* size1, void** part2,
         size_t* size2) {
  if (!b || !part1 || !size1) return -1;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  const size_t size = b->block->size;
  if (offset >= size || bytes == 0 || bytes > size) return -1;
  *part1 = b->block->bytes + offset;
  if (offset + bytes <= size) {
    *size1 = bytes;
    if (part2) *part2 = nullptr;
    if (size2) *size2 = 0;
    return 0;
  }
  if (!part2 || !size2) return -1;
  *size1 = size - offset;
  *part2 = b->block->bytes;
  *size2 = bytes - *size1;
  return 0;
}

void Unlock(PlatformSoundBuffer* b) {
  // The lock publishes what the caller wrote to the audio thread.
  if (!b) return;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
}

int Play(PlatformSoundBuffer* b, int looping) {
  if (!b) return -1;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  b->looping = looping != 0;
  if (!b->playing) {
    b->playing = 1;
    Link(b);
  }
  return 0;
}

int Stop(PlatformSoundBuffer* b) {
  if (!b) return -1;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  if (b->playing) {
    b->playing = 0;
    Unlink(b);
  }
  return 0;
}

int IsPlaying(PlatformSoundBuffer* b) {
  if (!b) return 0;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  return b->playing;
}

size_t GetPlayCursor(PlatformSoundBuffer* b) {
  if (!b) return 0;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  size_t frame = static_cast<size_t>(b->position >> 32);
  if (frame >= b->frames) frame = 0;
  return frame * b->frameBytes;
}

void SetPlayCursor(PlatformSoundBuffer* b, size_t position) {
  if (!b) return;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  size_t frame = position / b->frameBytes;
  if (frame >= b->frames) frame = 0;
  b->position = static_cast<uint64_t>(frame) << 32;
}

void SetVolume(PlatformSoundBuffer* b, int volume) {
  if (!b) return;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
  b->gain = MixerGainFromVolume(volume);
}

}  // namespace

int MixerStart(int deviceRate, void (*sync)()) {
  if (deviceRate < 8000 || deviceRate > 192000) return -1;
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  g_mixer.rate = deviceRate;
  g_mixer.sync = sync;
  g_mixer.playing = nullptr;
  return 0;
}

void MixerStop() {
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  while (g_mixer.playing) {
    g_mixer.playing->playing = 0;
    Unlink(g_mixer.playing);
  }
  g_mixer.sync = nullptr;
}

void MixerSync() {
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  Sync();
}

int MixerDeviceRate() {
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  return g_mixer.rate;
}

void MixerRenderLocked(int16_t* out, size_t frames) {
  while (frames > 0) {
    const size_t n = frames < kChunkFrames ? frames : kChunkFrames;
    int32_t* acc = g_mixer.accumulator;
    memset(acc, 0, n * 2 * sizeof(int32_t));
    for (PlatformSoundBuffer* b = g_mixer.playing; b;) {
      PlatformSoundBuffer* next = b->next;
      if (!MixAny(b, acc, n)) {
        b->playing = 0;
        Unlink(b);
      }
      b = next;
    }
    for (size_t i = 0; i < n * 2; ++i) out[i] = Saturate(acc[i]);
    out += n * 2;
    frames -= n;
  }
}

void MixerRender(int16_t* out, size_t frames) {
  std::lock_guard<std::mutex> lock(g_mixer.mutex);
  MixerRenderLocked(out, frames);
}

int32_t MixerGainFromVolume(int volume) {
  if (volume <= -10000) return 0;
  if (volume >= 0) return 65536;
  return static_cast<int32_t>(lround(65536.0 * pow(10.0, volume / 2000.0)));
}

void FillMixerSoundOps(PlatformSoundOps* ops) {
  ops->CreateBuffer = CreateBuffer;
  ops->DuplicateBuffer = DuplicateBuffer;
  ops->ReleaseBuffer = ReleaseBuffer;
  ops->Lock = Lock;
  ops->Unlock = Unlock;
  ops->Play = Play;
  ops->Stop = Stop;
  ops->IsPlaying = IsPlaying;
  ops->GetPlayCursor = GetPlayCursor;
  ops->SetPlayCursor = SetPlayCursor;
  ops->SetVolume = SetVolume;
}

}  // namespace qx
