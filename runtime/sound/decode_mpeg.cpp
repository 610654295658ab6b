// MPEG audio (Layer 1, 2 and 3; MPEG-1 and MPEG-2 rates), raw with ID3 tags
// or as Layer-3 frames inside WAVE, decoded by libmpg123 reading the frames
// through the decoder's StreamOps. Our own frame scan fixes where the frames
// are and how many samples they hold; libmpg123 is told to hand out every
// frame whole (no gapless trimming, the info frame decoded like the others),
// so the decoded length is exactly the scanned one. A seek restarts the
// library on a fresh state a few frames before the target and decodes up to
// it: the bit reservoir, the overlap and the filter bank are then rebuilt
// exactly as a decode from the start has them.
#include <string.h>
#include <stdio.h>
#include <sys/types.h>

#include <mpg123.h>

#include "runtime/core/alloc.h"
#include "runtime/sound/decode_internal.h"

namespace qx {

namespace {

// At most this much is decoded per refill of the work buffer (a few frames).
constexpr size_t kMpegFillBytes = 16384;
// Frames decoded ahead of a seek target. Layer 3 reaches back up to 511
// bytes (255 at MPEG-2 rates) for its bit reservoir, over frames as short as
// 24 bytes, and overlaps each frame with the one before.
constexpr int64_t kLayer3SeekFrames = 16;
constexpr int64_t kSeekFrames = 2;

struct FrameHeader {
  int mpeg1;  // 1 = MPEG-1, 0 = MPEG-2
  int layer;  // 1..3
  int mono;
  int channels;
  uint32_t rate;
  int samples;  // per frame
  int bytes;    // whole frame
};

bool ParseFrameHeader(const uint8_t h[4], FrameHeader* f) {
  static const int kBitrates[2][3][15] = {
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};
  static const uint32_t kRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
  // Sync: 0xFF and a second byte of at least 0xF0 (MPEG-1 or MPEG-2).
  if (h[0] != 0xFF || h[1] < 0xF0) return false;
  const int layerBits = (h[1] >> 1) & 3;
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 3;
  // Reserved layer, free-format or bad bit rate, reserved rate.
  if (layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  f->mpeg1 = (h[1] >> 3) & 1;
  f->layer = 4 - layerBits;
  f->mono = (h[3] >> 6) == 3;
  f->channels = f->mono ? 1 : 2;
  f->rate = kRates[f->mpeg1][rateIndex];
  const int64_t bitrate = kBitrates[f->mpeg1][f->layer - 1][bitrateIndex] * 1000;
  const int padding = (h[2] >> 1) & 1;
  if (f->layer == 1) {
    f->samples = 384;
    f->bytes = static_cast<int>((12 * bitrate / f->rate + padding) * 4);
  } else if (f->layer == 2 || f->mpeg1) {
    f->samples = 1152;
    f->bytes = static_cast<int>(144 * bitrate / f->rate + padding);
  } else {
    f->samples = 576;
    f->bytes = static_cast<int>(72 * bitrate / f->rate + padding);
  }
  return true;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.mpeg1 == b.mpeg1 && a.layer == b.layer && a.mono == b.mono && a.rate == b.rate;
}

// Buffered look at the stream for the frame scan.
struct ScanReader {
  SoundDecoder* decoder;
  uint8_t buffer[4096];
  int64_t start = -1;
  size_t length = 0;

  bool Peek(int64_t at, uint8_t out[4]) {
    if (start < 0 || at < start || at + 4 > start + static_cast<int64_t>(length)) {
      if (!StreamSeekTo(decoder, at)) return false;
      start = at;
      length = StreamReadBytes(decoder, buffer, sizeof(buffer));
      if (length < 4) return false;
    }
    memcpy(out, buffer + (at - start), 4);
    return true;
  }
};

struct FrameScan {
  FrameHeader first;
  int64_t frames;
  int64_t end;        // offset after the last whole frame
  uint32_t* offsets;  // of each frame from `start`, when asked for
};

// Frame by frame from `start` up to `limit`; the first header must sit at
// `start`. Stops at anything that is not a frame of the same stream.
bool ScanFrames(SoundDecoder* decoder, int64_t start, int64_t limit, FrameScan* scan) {
  ScanReader reader{decoder, {}};
  uint8_t h[4];
  if (!reader.Peek(start, h) || !ParseFrameHeader(h, &scan->first)) return false;
  scan->frames = 0;
  int64_t at = start;
  FrameHeader f;
  while (at + 4 <= limit && reader.Peek(at, h) && ParseFrameHeader(h, &f) && SameStream(f, scan->first) &&
         at + f.bytes <= limit) {
    if (scan->offsets) scan->offsets[scan->frames] = static_cast<uint32_t>(at - start);
    ++scan->frames;
    at += f.bytes;
  }
  scan->end = at;
  return scan->frames > 0;
}

struct MpegState : SoundDecoderState {
  // libmpg123 reads the frames from `viewStart` to the end of the region
  // through this copy of the stream.
  StreamOps ops;
  void* handle;
  int64_t regionStart;
  int64_t regionSize;
  int64_t viewStart;
  int64_t viewPosition;
  mpg123_handle* mpg;
  uint32_t* offsets;  // of every frame in the region
  int samplesPerFrame;
  int layer;
  long rate;
  int channels;
  int64_t totalFrames;  // sample frames
  int64_t frame;        // next sample frame Fill produces
};

MpegState* State(const SoundDecoder* decoder) { return static_cast<MpegState*>(decoder->state); }

ssize_t ReadCallback(void* source, void* buffer, size_t bytes) {
  MpegState* s = static_cast<MpegState*>(source);
  const int64_t left = s->regionSize - s->viewStart - s->viewPosition;
  if (static_cast<int64_t>(bytes) > left) bytes = static_cast<size_t>(left);
  if (bytes == 0) return 0;
  if (s->ops.Seek(s->handle, s->regionStart + s->viewStart + s->viewPosition, 0) != 0) return -1;
  size_t got = s->ops.Read(buffer, 1, bytes, s->handle);
  if (got > bytes) return -1;
  s->viewPosition += static_cast<int64_t>(got);
  return static_cast<ssize_t>(got);
}

off_t SeekCallback(void* source, off_t offset, int origin) {
  MpegState* s = static_cast<MpegState*>(source);
  const int64_t size = s->regionSize - s->viewStart;
  int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? s->viewPosition : size;
  int64_t target = base + offset;
  if (target < 0 || target > size) return -1;
  s->viewPosition = target;
  return static_cast<off_t>(target);
}

// (Re)starts the library on a fresh state at frame `first`.
bool StartAt(MpegState* s, int64_t first) {
  mpg123_handle* m = s->mpg;
  mpg123_close(m);
  s->viewStart = s->offsets[first];
  s->viewPosition = 0;
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_replace_reader_handle(m, ReadCallback, SeekCallback, nullptr) != MPG123_OK ||
      mpg123_open_handle(m, s) != MPG123_OK || mpg123_getformat(m, &rate, &channels, &encoding) != MPG123_OK ||
      rate != s->rate || channels != s->channels || encoding != MPG123_ENC_SIGNED_16)
    return false;
  s->frame = first * s->samplesPerFrame;
  return true;
}

size_t MpegFill(SoundDecoder* decoder, uint8_t* out, size_t capacity) {
  MpegState* s = State(decoder);
  const size_t align = decoder->format.BlockAlign;
  if (capacity > kMpegFillBytes) capacity = kMpegFillBytes;
  const int64_t left = s->totalFrames - s->frame;
  if (static_cast<int64_t>(capacity / align) > left) capacity = static_cast<size_t>(left) * align;
  if (capacity == 0) return 0;
  size_t done = 0;
  int result = mpg123_read(s->mpg, out, capacity, &done);
  if (result == MPG123_NEW_FORMAT && done == 0) result = mpg123_read(s->mpg, out, capacity, &done);
  if (result != MPG123_OK && result != MPG123_DONE && result != MPG123_NEW_FORMAT) return 0;
  done -= done % align;
  s->frame += static_cast<int64_t>(done / align);
  return done;
}

int64_t MpegSeek(SoundDecoder* decoder, int64_t sample) {
  MpegState* s = State(decoder);
  if (sample >= s->totalFrames) {
    s->frame = s->totalFrames;
    return s->totalFrames * decoder->format.BlockAlign;
  }
  int64_t first = sample / s->samplesPerFrame - (s->layer == 3 ? kLayer3SeekFrames : kSeekFrames);
  if (first < 0) first = 0;
  if (!StartAt(s, first)) return -1;
  return s->frame * decoder->format.BlockAlign;
}

int64_t MpegLength(const SoundDecoder* decoder) { return State(decoder)->totalFrames * decoder->format.BlockAlign; }

void MpegClose(SoundDecoder* decoder) {
  MpegState* s = State(decoder);
  if (s->mpg) {
    mpg123_close(s->mpg);
    mpg123_delete(s->mpg);
  }
  if (s->offsets) MemFree(s->offsets);
  MemFree(s);
  decoder->state = nullptr;
}

const DecoderBackend kMpegBackend = {MpegFill, MpegSeek, MpegLength, MpegClose, true};

bool SetUpMpg123(MpegState* s) {
  static const int initialised = mpg123_init();
  if (initialised != MPG123_OK) return false;
  s->mpg = mpg123_new(nullptr, nullptr);
  if (!s->mpg) return false;
  mpg123_handle* m = s->mpg;
  return mpg123_param(m, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) == MPG123_OK &&
         mpg123_param(m, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0) == MPG123_OK &&
         mpg123_format_none(m) == MPG123_OK &&
         mpg123_format(m, s->rate, s->channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16) ==
             MPG123_OK &&
         StartAt(s, 0);
}

// Decodes the frames in [start, limit) of the stream; the work buffer holds
// workThirds thirds of a second.
int OpenFrames(SoundDecoder* decoder, int64_t start, int64_t limit, bool layer3Only, int workThirds) {
  FrameScan scan{};
  if (limit - start > 0xFFFFFFFFll || !ScanFrames(decoder, start, limit, &scan)) return -1;
  if (layer3Only && scan.first.layer != 3) return -1;
  const WaveFormat out = Pcm16Format(scan.first.channels, scan.first.rate);
  if (scan.frames * scan.first.samples * out.BlockAlign > kMaxDecodedBytes) return -1;
  MpegState* s = static_cast<MpegState*>(MemAllocZero(sizeof(MpegState)));
  if (!s) return -1;
  s->backend = &kMpegBackend;
  decoder->state = s;
  // Second pass for the frame offsets, now that their number is known.
  s->offsets = static_cast<uint32_t*>(MemAlloc(static_cast<size_t>(scan.frames) * sizeof(uint32_t)));
  scan.offsets = s->offsets;
  if (!s->offsets || !ScanFrames(decoder, start, limit, &scan)) {
    MpegClose(decoder);
    return -1;
  }
  s->ops = decoder->ops;
  s->handle = decoder->handle;
  s->regionStart = start;
  s->regionSize = scan.end - start;
  s->samplesPerFrame = scan.first.samples;
  s->layer = scan.first.layer;
  s->rate = static_cast<long>(scan.first.rate);
  s->channels = scan.first.channels;
  s->totalFrames = scan.frames * scan.first.samples;
  if (!SetUpMpg123(s)) {
    MpegClose(decoder);
    return -1;
  }
  decoder->kind = kSoundDecoderConverted;
  decoder->format = out;
  decoder->dataOffset = start;
  decoder->dataSize = s->regionSize;
  decoder->workSize = static_cast<size_t>(out.AvgBytesPerSec) * static_cast<size_t>(workThirds) / 3;
  decoder->workSize -= decoder->workSize % out.BlockAlign;
  return 0;
}

}  // namespace

int OpenMpegAudio(SoundDecoder* decoder) {
  const int64_t total = StreamTotalSize(decoder);
  uint8_t head[10];
  if (total < 4 || !StreamReadExact(decoder, head, 4)) return -1;
  int64_t start = 0;
  if (memcmp(head, "ID3", 3) == 0) {
    if (total < 10 || !StreamReadExact(decoder, head + 4, 6)) return -1;
    if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return -1;
    const int64_t size = static_cast<int64_t>(head[6]) << 21 | head[7] << 14 | head[8] << 7 | head[9];
    start = size + 10;
    if (head[3] == 4 && (head[5] & 0x10)) start += 10;  // a footer follows a version-4 tag
  }
  int64_t limit = total;
  uint8_t tag[3];
  if (total - start >= 128 && StreamSeekTo(decoder, total - 128) && StreamReadExact(decoder, tag, 3) &&
      memcmp(tag, "TAG", 3) == 0)
    limit = total - 128;
  if (start >= limit) return -1;
  return OpenFrames(decoder, start, limit, false, 4);
}

int OpenMpegInWave(SoundDecoder* decoder, const WaveChunks& chunks) {
  return OpenFrames(decoder, chunks.dataOffset, chunks.dataOffset + chunks.dataSize, true, 3);
}

}  // namespace qx
