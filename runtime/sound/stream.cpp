// Stream sounds: up to three decoded sources played through one 6-second
// ring buffer that the message pump keeps filled 3 to 4 seconds ahead of the
// play cursor.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/sound/sound_internal.h"

namespace qx {
namespace {

HandleListNode g_streamHead, g_streamTail;

SoundRecord* RingOwner(SoundRecord* r) {
  return r->stream.sharedOwner == -1 ? r : GetSoundRecord(r->stream.sharedOwner);
}

bool Bound(int handle, SoundRecord* r) {
  SoundRecord* owner = RingOwner(r);
  return owner && owner->buffers[0].inUse && owner->stream.boundHandle == handle;
}

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
  uint8_t pa[kWaveFormatBytes], pb[kWaveFormatBytes];
  PackWaveFormat(a, pa);
  PackWaveFormat(b, pb);
  return memcmp(pa, pb, kWaveFormatBytes) == 0;
}

void CloseSource(StreamSource* s) {
  SoundDecoderClose(&s->decoder);
  if (s->memory) MemoryStreamOps().Close(s->memory);
  MemFree(s->data);
  memset(s, 0, sizeof *s);
}

// Reads a whole stream into a block from MemAlloc.
uint8_t* ReadWholeStream(const StreamOps& ops, void* handle, size_t* size) {
  ops.Seek(handle, 0, 2);
  int64_t length = ops.Tell(handle);
  ops.Seek(handle, 0, 0);
  uint8_t* data = length > 0 ? static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(length))) : nullptr;
  if (!data) {
    LogWrite("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return nullptr;
  }
  *size = ops.Read(data, 1, static_cast<size_t>(length), handle);
  return data;
}

int KeepSource(StreamSource* s, uint8_t* file, size_t size);

// Opens the source's decoder over its own copy (types 0 and 2) or over the
// given stream (type 3). 0 or -1, with nothing left allocated on failure.
int OpenSource(StreamSource* s, const StreamOps& ops, void* handle) {
  if (s->sourceType == 3) {
    if (SoundDecoderOpen(&s->decoder, ops, handle) == 0) return 0;
    LogWrite("音声データのオープンに失敗しました");
    return -1;
  }
  size_t size = 0;
  uint8_t* file = ReadWholeStream(ops, handle, &size);
  if (!file) return -1;
  if (s->sourceType == 0) {
    // Decoded once, kept as a WAVE image of the PCM.
    MemoryStream* memory = OpenMemoryStream(file, size);
    SoundDecoder decoder;
    if (!memory || SoundDecoderOpen(&decoder, MemoryStreamOps(), memory) != 0) {
      if (memory) MemoryStreamOps().Close(memory);
      MemFree(file);
      LogWrite("音声データのオープンに失敗しました");
      return -1;
    }
    uint8_t* pcm = nullptr;
    size_t pcmSize = 0;
    WaveFormat format;
    int decoded = SoundDecoderDecodeAll(&decoder, &pcm, &pcmSize, &format);
    SoundDecoderClose(&decoder);
    MemoryStreamOps().Close(memory);
    MemFree(file);
    if (decoded != 0) {
      LogWrite("音声データの読み込みに失敗しました");
      return -1;
    }
    file = BuildWaveImage(format, static_cast<int>(kWaveFormatBytes), pcm, pcmSize, &size);
    MemFree(pcm);
    if (!file) {
      LogWrite("音声データの変換に失敗しました");
      return -1;
    }
  }
  return KeepSource(s, file, size);
}

// Gives the source its in-memory copy (from MemAlloc, freed with the source)
// and opens the decoder over it. 0 or -1, with the copy freed on failure.
int KeepSource(StreamSource* s, uint8_t* file, size_t size) {
  s->data = file;
  s->size = size;
  s->memory = OpenMemoryStream(file, size);
  if (!s->memory || SoundDecoderOpen(&s->decoder, MemoryStreamOps(), s->memory) != 0) {
    if (s->memory) MemoryStreamOps().Close(s->memory);
    MemFree(file);
    memset(s, 0, sizeof *s);
    LogWrite("音声データのオープンに失敗しました");
    return -1;
  }
  return 0;
}

void Rewind(StreamState& st) {
  st.current = 0;
  st.loopCounter = 0;
  st.sourcePosition = 0;
  st.playedBytes = 0;
  st.looped = 0;
  st.endReached = 0;
  st.setUp = 0;
}

int SilenceByte(const SoundRecord* r) { return r->format.BitsPerSample == 8 ? 127 : 0; }

// The current source has delivered everything: loop it, hand over to the
// next source, or end (tail) / go back to the first source (play type 3).
void EndOfSource(SoundRecord* r, int64_t dataEnd) {
  StreamState& st = r->stream;
  st.loopCounter++;
  StreamSource* s = &st.sources[st.current];
  if (st.loopCounter > s->loopCount && s->loopCount != -1) {
    st.loopCounter = 0;
    if (st.current + 1 < st.sourceCount) {
      st.current++;
    } else if (r->playType != 3) {
      // The decoder stays at its end, so a resumed play ends again at once.
      st.endReached = 1;
      st.tail = 1;
      st.tailEnd = dataEnd;
      st.tailStart = static_cast<int64_t>(st.lastCursor);
      return;
    } else {
      st.endReached = 1;
      st.looped = 1;
      st.current = 0;
    }
  }
  s = &st.sources[st.current];
  const int64_t start = st.loopCounter > 0 ? s->loopStart : 0;
  SoundDecoderSeek(&s->decoder, start);
  st.sourcePosition = start * r->format.BlockAlign;
}

// Fills one locked part of the ring that starts at ring offset `offset`.
void FillPart(SoundRecord* r, uint8_t* p, size_t size, int64_t offset) {
  StreamState& st = r->stream;
  size_t done = 0;
  int emptyEnds = 0;
  while (done < size && !st.tail) {
    size_t got = SoundDecoderRead(&st.sources[st.current].decoder, p + done, size - done);
    if (got == 0) {
      // Sources that give nothing at all would loop here for ever.
      if (++emptyEnds > st.sourceCount + 1) break;
      EndOfSource(r, (offset + static_cast<int64_t>(done)) % st.ringSize);
      continue;
    }
    emptyEnds = 0;
    done += got;
    st.sourcePosition += static_cast<int64_t>(got);
  }
  if (done < size) memset(p + done, SilenceByte(r), size - done);
}

void WriteRing(SoundRecord* r, PlatformSoundBuffer* ring, int64_t bytes, bool silence) {
  StreamState& st = r->stream;
  const PlatformSoundOps& out = SoundOut();
  const int64_t fourSeconds = 4 * static_cast<int64_t>(r->format.AvgBytesPerSec);
  if (bytes <= 0) return;
  void* part1;
  size_t size1;
  void* part2;
  size_t size2;
  if (out.Lock(ring, static_cast<size_t>(st.write), static_cast<size_t>(bytes), &part1, &size1, &part2, &size2) != 0)
    return;
  if (silence) {
    memset(part1, SilenceByte(r), size1);
    if (part2) memset(part2, SilenceByte(r), size2);
  } else {
    FillPart(r, static_cast<uint8_t*>(part1), size1, st.write);
    if (part2) FillPart(r, static_cast<uint8_t*>(part2), size2, 0);
  }
  out.Unlock(ring);
  st.write = (st.write + bytes) % st.ringSize;
  st.guard = ((st.write - fourSeconds) % st.ringSize + st.ringSize) % st.ringSize;
}

// Forward distance from a to b on the ring.
int64_t Ahead(int64_t a, int64_t b, int64_t ringSize) { return ((b - a) % ringSize + ringSize) % ringSize; }

void Prepare(int handle, SoundRecord* r) {
  StreamState& st = r->stream;
  if (!Bound(handle, r) || st.setUp) return;
  SoundOut().SetPlayCursor(StreamRing(r), 0);
  st.write = -800;
  st.guard = -1;
  st.tail = 0;
  st.lastCursor = 0;
  SoundDecoderSeek(&st.sources[st.current].decoder, st.sourcePosition / r->format.BlockAlign);
  st.setUp = 1;
  UpdateStreamSound(handle);
}

}  // namespace

void StreamListInit() { HandleListInit(&g_streamHead, &g_streamTail); }

void StreamListAdd(SoundRecord* r, int handle) { HandleListAdd(&g_streamHead, &r->stream.node, handle, r); }

void StreamListRemove(SoundRecord* r) {
  if (r->stream.node.prev) HandleListRemove(&r->stream.node);
  r->stream.node.prev = r->stream.node.next = nullptr;
}

PlatformSoundBuffer* StreamRing(SoundRecord* r) {
  SoundRecord* owner = RingOwner(r);
  return owner && owner->buffers[0].inUse ? owner->buffers[0].buffer : nullptr;
}

void ReleaseStreamSound(SoundRecord* r) {
  StreamListRemove(r);
  for (int i = 0; i < r->stream.sourceCount; ++i) CloseSource(&r->stream.sources[i]);
  r->stream.sourceCount = 0;
}

namespace {

// Adds a source to a sound: the checks, then `open` fills the source, then
// the sound takes the source's format and gets or shares its ring.
template <typename Open>
int AddSource(int loopCount, int handle, int sourceType, int* ownsData, int unionHandle, Open open) {
  if (!SoundSystemUp()) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  StreamState& st = r->stream;
  if (st.sourceCount > 0 || r->bufferCount > 0) {
    if (!r->isStream) {
      LogWrite("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
      return -1;
    }
    if (CheckStreamSoundPlaying(handle) == 1) {
      LogWrite("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
      return -1;
    }
    if (st.sourceCount >= kMaxStreamSources) {
      LogWrite("ストリーム風サウンドの制御データ領域がいっぱいです\n");
      return -1;
    }
  }
  if (sourceType != 0 && sourceType != 2 && sourceType != 3) return -1;
  StreamSource* s = &st.sources[st.sourceCount];
  memset(s, 0, sizeof *s);
  s->sourceType = sourceType;
  if (open(s) != 0) return -1;

  if (st.sourceCount > 0) {
    if (!SameFormat(s->decoder.format, r->format)) {
      CloseSource(s);
      LogWrite("フォーマットの違う音声データは同時に使うことは出来ません");
      return -1;
    }
  } else {
    r->format = s->decoder.format;
    SoundRecord* u = unionHandle == handle ? nullptr : GetSoundRecord(unionHandle);
    if (u && u->isStream && u->stream.sharedOwner == -1 && u->buffers[0].inUse && SameFormat(u->format, r->format)) {
      r->isStream = 1;
      r->bufferCount = 1;
      StreamListAdd(r, handle);
      st.sharedOwner = unionHandle;
      st.ringSize = u->stream.ringSize;
      u->stream.references++;
    } else {
      const int64_t ringSize = kStreamRingSeconds * static_cast<int64_t>(r->format.AvgBytesPerSec);
      if (CreateSoundBuffers(r->format, static_cast<size_t>(ringSize), 1, 1, handle) != 0) {
        CloseSource(s);
        return -1;
      }
      st.ringSize = ringSize;
    }
    st.write = -800;
    st.guard = -1;
  }
  s->loopCount = static_cast<int8_t>(loopCount);
  st.sourceCount++;
  st.totalSamples = 0;
  for (int i = 0; i < st.sourceCount; ++i) {
    st.totalSamples += SoundDecoderLength(&st.sources[i].decoder) / r->format.BlockAlign;
  }
  if (ownsData) *ownsData = sourceType == 3 ? 0 : 1;
  return 0;
}

}  // namespace

int AddSreamSound(const StreamOps& ops, void* streamHandle, int loopCount, int handle, int sourceType, int* ownsData,
                  int unionHandle) {
  return AddSource(loopCount, handle, sourceType, ownsData, unionHandle, [&](StreamSource* s) {
    ops.Seek(streamHandle, 0, 0);
    return OpenSource(s, ops, streamHandle);
  });
}

int AddStreamSoundImage(uint8_t* image, size_t size, int handle) {
  bool taken = false;
  int result = AddSource(0, handle, 0, nullptr, -1, [&](StreamSource* s) {
    taken = true;
    return KeepSource(s, image, size);
  });
  if (!taken) MemFree(image);
  return result;
}

int PlayStreamSound(int handle, int playType, int fromTop) {
  SoundRecord* r = GetSoundRecord(handle);
  if (!r || r->stream.sourceCount == 0) return -1;
  SoundRecord* owner = RingOwner(r);
  PlatformSoundBuffer* ring = StreamRing(r);
  if (!owner || !ring) return -1;
  StreamState& st = r->stream;
  const PlatformSoundOps& out = SoundOut();

  if (owner->stream.boundHandle != handle) {
    // The ring held another sharer's data: both have to fill it afresh.
    const int previous = owner->stream.boundHandle;
    if (SoundRecord* p = previous == handle ? nullptr : GetSoundRecord(previous)) {
      out.Stop(ring);
      p->stream.setUp = 0;
    }
    owner->stream.boundHandle = handle;
    st.setUp = 0;
  }
  if (!fromTop && out.IsPlaying(ring)) return 0;
  out.Stop(ring);
  if (((playType ^ r->playType) & 2) && st.endReached) Rewind(st);
  if (fromTop) {
    st.endReached = 0;
    if (st.playedBytes > 0 || st.current != 0 || st.loopCounter != 0) Rewind(st);
  }
  r->playType = playType;
  Prepare(handle, r);
  if (out.Play(ring, 1) != 0) return -1;
  r->playStartTime = static_cast<int>(Os().TickMilliseconds());
  if (playType == 0) {
    // The sleep lets a virtual clock move on.
    while (ProcessMessage() == 0 && out.IsPlaying(ring)) Os().Sleep(1);
  }
  return 0;
}

int StopStreamSound(int handle) {
  SoundRecord* r = GetSoundRecord(handle);
  if (!r || !r->isStream) return -1;
  if (Bound(handle, r)) SoundOut().Stop(StreamRing(r));
  return 0;
}

int CheckStreamSoundPlaying(int handle) {
  SoundRecord* r = GetSoundRecord(handle);
  if (!r || !r->isStream) return -1;
  return Bound(handle, r) && SoundOut().IsPlaying(StreamRing(r)) ? 1 : 0;
}

int UpdateStreamSound(int handle) {
  SoundRecord* r = GetSoundRecord(handle);
  if (!r || !r->isStream || !r->stream.setUp || !Bound(handle, r)) return 0;
  StreamState& st = r->stream;
  const PlatformSoundOps& out = SoundOut();
  PlatformSoundBuffer* ring = StreamRing(r);
  const int64_t bytesPerSecond = r->format.AvgBytesPerSec;
  const int64_t align = r->format.BlockAlign;
  const int64_t ringSize = st.ringSize;
  const int64_t chunk = bytesPerSecond / 8 / align * align;

  const size_t cursor = out.GetPlayCursor(ring);
  st.playedBytes += Ahead(static_cast<int64_t>(st.lastCursor), static_cast<int64_t>(cursor), ringSize);
  st.lastCursor = cursor;
  const int64_t p = static_cast<int64_t>(cursor);

  // No more than 4 seconds behind W: otherwise the write would overtake the cursor.
  if (st.guard >= 0 && Ahead(st.guard, p, ringSize) > Ahead(st.guard, st.write, ringSize)) return -1;

  if (st.tail) {
    if (Ahead(st.tailStart, p, ringSize) >= Ahead(st.tailStart, st.tailEnd, ringSize)) {
      out.Stop(ring);
      st.tail = 0;
      return 0;
    }
    WriteRing(r, ring, chunk, true);
    return 0;
  }
  if (!out.IsPlaying(ring)) {
    if (st.write == -800) {
      st.write = 0;
      WriteRing(r, ring, 4 * bytesPerSecond / align * align, false);  // leaves W = 4 s, V = 0
    }
    return 0;
  }
  const int64_t queued = Ahead(p, st.write, ringSize);
  const int64_t m = queued * 128 / bytesPerSecond;
  WriteRing(r, ring, m >= 384 ? chunk : (384 - m) * bytesPerSecond / 128 / align * align, false);
  return 0;
}

void UpdateStreamSounds() {
  if (!SoundSystemUp()) return;
  for (HandleListNode* n = g_streamHead.next; n && n != &g_streamTail; n = n->next) UpdateStreamSound(n->handle);
}

}  // namespace qx
