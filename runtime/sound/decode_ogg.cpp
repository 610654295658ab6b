// Ogg Vorbis through libvorbisfile, reading through the decoder's StreamOps.
#include <vorbis/vorbisfile.h>

#include "runtime/core/alloc.h"
#include "runtime/sound/decode_internal.h"

namespace qx {

namespace {

constexpr uint32_t kMaxRate = 384000;
constexpr size_t kOggWorkBytes = 4096;
// Holes (lost pages) are skipped; this many in a row end the data.
constexpr int kMaxHoles = 64;

struct OggState : SoundDecoderState {
  // vorbisfile keeps a pointer to the stream: it lives here, not in the
  // SoundDecoder, which its owner may move.
  StreamOps ops;
  void* handle;
  OggVorbis_File file;
  int channels;
  long rate;
  int64_t totalFrames;
};

OggState* State(const SoundDecoder* decoder) { return static_cast<OggState*>(decoder->state); }

size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
  OggState* s = static_cast<OggState*>(source);
  if (size == 0 || count == 0) return 0;
  size_t got = s->ops.Read(buffer, size, count, s->handle);
  return got > count ? 0 : got;
}
int SeekCallback(void* source, ogg_int64_t offset, int origin) {
  OggState* s = static_cast<OggState*>(source);
  return s->ops.Seek(s->handle, offset, origin) == 0 ? 0 : -1;
}
// The stream stays open: it belongs to whoever opened the decoder.
int CloseCallback(void*) { return 0; }
long TellCallback(void* source) {
  OggState* s = static_cast<OggState*>(source);
  return static_cast<long>(s->ops.Tell(s->handle));
}

size_t OggFill(SoundDecoder* decoder, uint8_t* out, size_t capacity) {
  OggState* s = State(decoder);
  for (int holes = 0; holes < kMaxHoles; ++holes) {
    int link = 0;
    long n = ov_read(&s->file, reinterpret_cast<char*>(out), static_cast<int>(capacity), 0, 2, 1, &link);
    if (n == OV_HOLE) continue;
    if (n <= 0) return 0;
    // A chained stream that changes its layout cannot continue in this format.
    const vorbis_info* info = ov_info(&s->file, link);
    if (!info || info->channels != s->channels || info->rate != s->rate) return 0;
    return static_cast<size_t>(n);
  }
  return 0;
}

int64_t OggSeek(SoundDecoder* decoder, int64_t sample) {
  OggState* s = State(decoder);
  if (sample > s->totalFrames) sample = s->totalFrames;
  if (ov_pcm_seek(&s->file, sample) != 0) return -1;
  return sample * decoder->format.BlockAlign;
}

// The stream's own total plus a second: whole decodes stop at the real end.
int64_t OggLength(const SoundDecoder* decoder) {
  return (State(decoder)->totalFrames + 44100) * decoder->format.BlockAlign;
}

void OggClose(SoundDecoder* decoder) {
  OggState* s = State(decoder);
  ov_clear(&s->file);
  MemFree(s);
  decoder->state = nullptr;
}

const DecoderBackend kOggBackend = {OggFill, OggSeek, OggLength, OggClose, false};

}  // namespace

int OpenOggVorbis(SoundDecoder* decoder) {
  const int64_t size = StreamTotalSize(decoder);
  if (size <= 0) return -1;
  OggState* s = static_cast<OggState*>(MemAllocZero(sizeof(OggState)));
  if (!s) return -1;
  s->backend = &kOggBackend;
  s->ops = decoder->ops;
  s->handle = decoder->handle;
  const ov_callbacks callbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
  // A failed open leaves nothing in the file state to clear.
  if (ov_open_callbacks(s, &s->file, nullptr, 0, callbacks) != 0) {
    MemFree(s);
    return -1;
  }
  decoder->state = s;
  const vorbis_info* info = ov_info(&s->file, -1);
  const ogg_int64_t total = ov_pcm_total(&s->file, -1);
  if (!info || info->channels < 1 || info->channels > 2 || info->rate < 1 || info->rate > static_cast<long>(kMaxRate) ||
      total <= 0 || (total + 44100) * info->channels * 2 > kMaxDecodedBytes) {
    OggClose(decoder);
    return -1;
  }
  s->channels = info->channels;
  s->rate = info->rate;
  s->totalFrames = total;
  decoder->kind = kSoundDecoderOgg;
  decoder->format = Pcm16Format(s->channels, static_cast<uint32_t>(s->rate));
  decoder->dataOffset = 0;
  decoder->dataSize = size;
  decoder->workSize = kOggWorkBytes;
  return 0;
}

}  // namespace qx
