// Sound handles: the sound system's start and end, loading into static
// sounds with several play buffers, playback with buffer rotation, volume,
// loop points (which turn a static sound into a stream sound) and deletion.
#include <math.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/sound/sound_internal.h"

namespace qx {
namespace {

struct SoundSystem {
  int up;
  HandleTable table;
  PlatformSoundBuffer* silentBuffer;
};

SoundSystem g_system;

constexpr int kDeviceRate = 44100;

// What the mixer can play; anything else fails the load instead of ending the program.
bool PlayableFormat(const WaveFormat& f) {
  return f.FormatTag == 1 && (f.Channels == 1 || f.Channels == 2) && (f.BitsPerSample == 8 || f.BitsPerSample == 16) &&
         f.SamplesPerSec >= kSoundBufferMinRate && f.SamplesPerSec <= kSoundBufferMaxRate &&
         f.BlockAlign == f.Channels * f.BitsPerSample / 8 && f.AvgBytesPerSec == f.SamplesPerSec * f.BlockAlign;
}

void CreateSilentBuffer() {
  const PlatformSoundOps& out = SoundOut();
  g_system.silentBuffer = out.CreateBuffer(2, 16, 44100, 400);
  if (!g_system.silentBuffer) {
    LogWrite("無音バッファの作成に失敗しました");
    return;
  }
  void* part1;
  size_t size1;
  if (out.Lock(g_system.silentBuffer, 0, 400, &part1, &size1, nullptr, nullptr) != 0) {
    LogWrite("無音バッファのロックに失敗しました");
    return;
  }
  memset(part1, 0, size1);
  out.Unlock(g_system.silentBuffer);
  out.Play(g_system.silentBuffer, 1);
}

void LogDeviceFacts() {
  PlatformSoundDeviceInfo info;
  SoundOut().GetDeviceInfo(&info);
  LogWrite("DirectSound デバイスを列挙します\n");
  LogIndentIncrease();
  LogPrintf("モジュール名:%15s  ドライバ記述:%s ", info.driver, info.device[0] ? info.device : "既定のデバイス");
  LogIndentIncrease();
  LogPrintf("出力フォーマット:%dHz %dbit %dチャンネル  バッファ:%dサンプル", info.sampleRate, info.bitsPerSample,
            info.channels, info.bufferFrames);
  if (info.hardwareRate > 0) LogPrintf("デバイス側のサンプリングレート:%dHz", info.hardwareRate);
  LogPrintf("再生バッファ:8bit/16bit  モノラル/ステレオ  %dHz～%dHz (ソフトウエアミキシング)", kSoundBufferMinRate,
            kSoundBufferMaxRate);
  LogIndentDecrease();
  LogIndentDecrease();
}

void ReleasePlayBuffers(SoundRecord* r) {
  const PlatformSoundOps& out = SoundOut();
  for (int i = 0; i < kMaxPlayBuffers; ++i) {
    if (!r->buffers[i].inUse) continue;
    out.Stop(r->buffers[i].buffer);
    out.ReleaseBuffer(r->buffers[i].buffer);
    r->buffers[i].inUse = 0;
    r->buffers[i].buffer = nullptr;
  }
  r->bufferCount = 0;
}

// Decodes straight into a new static sound's play buffers when the decoded
// length is known beforehand, so that the samples are never held twice.
// False, with no buffer left, when it cannot: the caller then decodes a copy
// first, as for sources whose length is only an estimate.
bool DecodeIntoPlayBuffers(SoundDecoder* decoder, int bufferCount, int handle) {
  const int64_t length = SoundDecoderExactLength(decoder);
  if (bufferCount <= 0 || length <= 0 || !PlayableFormat(decoder->format) || SoundDecoderSeek(decoder, 0) != 0)
    return false;
  const size_t size = static_cast<size_t>(length);
  SoundRecord* r = GetSoundRecord(handle);
  if (!r || CreateSoundBuffers(decoder->format, size, bufferCount, 0, handle) != 0) return false;
  if (r->bufferCount <= 0) return false;
  // The duplicates share the first buffer's block, so one fill serves them all.
  const PlatformSoundOps& out = SoundOut();
  void* part1 = nullptr;
  size_t size1 = 0;
  bool ok = out.Lock(r->buffers[0].buffer, 0, size, &part1, &size1, nullptr, nullptr) == 0 && size1 == size;
  if (ok) {
    ok = SoundDecoderRead(decoder, part1, size) == size;
    out.Unlock(r->buffers[0].buffer);
  }
  if (!ok) {
    ReleasePlayBuffers(r);
    return false;
  }
  r->pcmSize = size;
  r->format = decoder->format;
  return true;
}

int DeleteSoundRecord(int handle, SoundRecord* r) {
  if (r->isStream) {
    StopStreamSound(handle);
    // Others still play through this one's ring: the last of them deletes it.
    if (r->stream.references > 0) {
      r->stream.pendingDelete = 1;
      return 0;
    }
  }
  ReleasePlayBuffers(r);
  MemFree(r->pcm);
  r->pcm = nullptr;
  int owner = -1;
  if (r->isStream) {
    owner = r->stream.sharedOwner;
    ReleaseStreamSound(r);
  }
  HandleRelease(&g_system.table, handle);
  if (owner != -1) {
    SoundRecord* o = GetSoundRecord(owner);
    if (o && --o->stream.references == 0 && o->stream.pendingDelete) DeleteSound(owner);
  }
  return 0;
}

// The samples of a static sound: its play buffers' block (shared by all of
// them) or, when it has no play buffer, the record's own copy.
const uint8_t* StaticSamples(SoundRecord* r) {
  if (r->pcm || r->bufferCount <= 0) return r->pcm;
  void* part1 = nullptr;
  size_t size1 = 0;
  if (SoundOut().Lock(r->buffers[0].buffer, 0, r->pcmSize, &part1, &size1, nullptr, nullptr) != 0) return nullptr;
  SoundOut().Unlock(r->buffers[0].buffer);
  return size1 == r->pcmSize ? static_cast<const uint8_t*>(part1) : nullptr;
}

}  // namespace

int SoundSystemUp() { return g_system.up; }
const PlatformSoundOps& SoundOut() { return *GetPlatform().sound; }

SoundRecord* GetSoundRecord(int handle) { return HandleGet<SoundRecord>(&g_system.table, handle); }

int InitSound() {
  if (g_system.up) return 0;
  LogWrite("DirectSound の初期化を行います\n");
  LogIndentIncrease();
  LogWrite("DirectSound インターフェースの取得を行います....  ");
  if (SoundOut().Init(2, 16, kDeviceRate) != 0) {
    // On the terminal too: the player hears nothing and is told why.
    LogLoadFailure("DirectSoundインターフェースの作成に失敗しました");
    LogIndentDecrease();
    return -1;
  }
  HandleTableInit(&g_system.table, kHandleSound, kSoundTableSize, kSearchAreaEndThenLowest,
                  "サウンドの数が許容量を越えました\n");
  g_system.up = 1;
  CreateSilentBuffer();
  StreamListInit();
  LogDeviceFacts();
  DeleteAllSounds(0);
  LogIndentDecrease();
  LogWrite("DirectSound の初期化は正常に終了しました\n");
  return 0;
}

void EndSound() {
  if (!g_system.up) return;
  DeleteAllSounds(0);
  if (g_system.silentBuffer) {
    SoundOut().Stop(g_system.silentBuffer);
    SoundOut().ReleaseBuffer(g_system.silentBuffer);
    g_system.silentBuffer = nullptr;
  }
  SoundOut().Shutdown();
  HandleTableInit(&g_system.table, kHandleSound, kSoundTableSize, kSearchAreaEndThenLowest, nullptr);
  g_system.up = 0;
  LogWrite("DirectSound の終了処理は正常に終了しました\n");
}

// MIDI music is not part of this runtime; nothing plays that would need stopping.
void StopMusic() {}

int AddSoundData(int handle) {
  int h = HandleAllocate(&g_system.table, sizeof(SoundRecord), handle);
  if (h == -1) return -1;
  SoundRecord* r = GetSoundRecord(h);
  r->stream.sharedOwner = -1;
  r->stream.boundHandle = h;
  r->stream.write = -800;
  r->stream.guard = -1;
  return h;
}

int CreateSoundBuffers(const WaveFormat& format, size_t size, int count, int stream, int handle) {
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  const PlatformSoundOps& out = SoundOut();
  if (!PlayableFormat(format) || size == 0) {
    LogWrite("DirectSoundBuffer の作成に失敗しました\n");
    return -1;
  }
  if (stream) {
    PlatformSoundBuffer* ring =
        out.CreateBuffer(format.Channels, format.BitsPerSample, static_cast<int>(format.SamplesPerSec), size);
    if (!ring) FatalShutdown("ストリーム風サウンドバッファの作成に失敗しました");
    r->buffers[0] = {1, ring};
    r->bufferCount = 1;
    r->isStream = 1;
    StreamListAdd(r, handle);
    return 0;
  }
  int made = 0;
  if (count > 0) {
    PlatformSoundBuffer* first =
        out.CreateBuffer(format.Channels, format.BitsPerSample, static_cast<int>(format.SamplesPerSec), size);
    if (!first) first = out.CreateBuffer(format.Channels, format.BitsPerSample, static_cast<int>(format.SamplesPerSec), size);
    if (!first) FatalShutdown("DirectSoundBuffer の作成に失敗しました");
    r->buffers[0] = {1, first};
    made = 1;
    for (; made < count && made < kMaxPlayBuffers; ++made) {
      PlatformSoundBuffer* copy = out.DuplicateBuffer(first);
      if (!copy) break;
      r->buffers[made] = {1, copy};
    }
  }
  r->bufferCount = made;
  return 0;
}

SoundHandle CreateSoundFromMemory(const void* image, size_t size, int bufferCount) {
  if (!g_system.up || bufferCount > kMaxPlayBuffers) return -1;
  int handle = AddSoundData(-1);
  if (handle == -1) return -1;
  bool ok = false;
  do {
    MemoryStream* memory = OpenMemoryStream(image, size);
    if (!memory) break;
    SoundDecoder decoder;
    if (SoundDecoderOpen(&decoder, MemoryStreamOps(), memory) != 0) {
      LogWrite("音声ファイルのＰＣＭへの変換に失敗しました");
      MemoryStreamOps().Close(memory);
      break;
    }
    if (DecodeIntoPlayBuffers(&decoder, bufferCount, handle)) {
      SoundDecoderClose(&decoder);
      MemoryStreamOps().Close(memory);
      ok = true;
      break;
    }
    uint8_t* pcm = nullptr;
    size_t pcmSize = 0;
    WaveFormat format;
    int decoded = SoundDecoderDecodeAll(&decoder, &pcm, &pcmSize, &format);
    SoundDecoderClose(&decoder);
    MemoryStreamOps().Close(memory);
    if (decoded != 0) {
      LogWrite("音声ファイルを格納するメモリ領域の確保に失敗しました");
      break;
    }
    SoundRecord* r = GetSoundRecord(handle);
    r->pcm = pcm;  // freed with the record from here on
    r->pcmSize = pcmSize;
    r->format = format;
    if (CreateSoundBuffers(format, pcmSize, bufferCount, 0, handle) != 0) break;
    const PlatformSoundOps& out = SoundOut();
    ok = true;
    for (int i = 0; i < r->bufferCount && ok; ++i) {
      void* part1;
      size_t size1;
      void* part2;
      size_t size2;
      if (out.Lock(r->buffers[i].buffer, 0, pcmSize, &part1, &size1, &part2, &size2) != 0) {
        LogWrite("サウンドデータの転送に失敗しました_1");
        ok = false;
        break;
      }
      memcpy(part1, pcm, size1);
      out.Unlock(r->buffers[i].buffer);
      if (size1 != pcmSize) {
        LogWrite("サウンドデータの転送に失敗しました_2");
        ok = false;
      }
    }
    // The play buffers hold the samples from here on; one copy is enough.
    if (ok && r->bufferCount > 0) {
      MemFree(r->pcm);
      r->pcm = nullptr;
    }
  } while (false);
  if (!ok) {
    DeleteSound(handle);
    return -1;
  }
  return handle;
}

SoundHandle LoadSoundFile(const char* path, int bufferCount, int) {
  if (!g_system.up || !path) return -1;
  if (bufferCount > kMaxPlayBuffers) bufferCount = kMaxPlayBuffers;
  const FileAccessTable& files = Files();
  FileHandle file = files.FileOpen(path, 0, 0, 0);
  if (file == 0) {
    LogLoadFailure("右記のファイルのオープンに失敗しました：%s", path);
    LogLoadFailure("右記の音声ファイルのロードに失敗しました_1：%s", path);
    return -1;
  }
  // A file the layer already holds whole (compressed in an archive) is used
  // where it lies: the same bytes, without a second copy of a long sound.
  const uint8_t* held = nullptr;
  size_t heldBytes = 0;
  if (FileContentsInMemory(file, &held, &heldBytes) && heldBytes > 0) {
    SoundHandle handle = CreateSoundFromMemory(held, heldBytes, bufferCount);
    files.FileClose(file);
    if (handle == -1) LogLoadFailure("右記の音声ファイルのロードに失敗しました_2：%s", path);
    return handle;
  }
  files.FileSeek(file, 0, 2);
  int64_t size = files.FileTell(file);
  files.FileSeek(file, 0, 0);
  // An empty file needs no memory: it fails as a sound no decoder knows.
  uint8_t nothing = 0;
  uint8_t* image = size > 0 ? static_cast<uint8_t*>(MemAllocBrief(static_cast<size_t>(size))) : &nothing;
  if (!image || size < 0) {
    files.FileClose(file);
    LogLoadFailure("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    LogLoadFailure("右記の音声ファイルのロードに失敗しました_1：%s", path);
    return -1;
  }
  size_t got = size > 0 ? files.FileRead(image, 1, static_cast<size_t>(size), file) : 0;
  files.FileClose(file);
  SoundHandle handle = CreateSoundFromMemory(image, got, bufferCount);
  if (image != &nothing) MemFree(image);
  if (handle == -1) {
    LogLoadFailure("右記の音声ファイルのロードに失敗しました_2：%s", path);
    return -1;
  }
  return handle;
}

int PlaySoundHandle(SoundHandle handle, int playType, int fromTop) {
  if (!g_system.up) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  if (r->isStream) return PlayStreamSound(handle, playType, fromTop);
  if (r->bufferCount <= 0) return -1;
  const PlatformSoundOps& out = SoundOut();
  size_t cursor = out.GetPlayCursor(r->buffers[r->currentBuffer].buffer);
  r->currentBuffer = (r->currentBuffer + 1) % r->bufferCount;
  PlatformSoundBuffer* buffer = r->buffers[r->currentBuffer].buffer;
  if (out.IsPlaying(buffer)) {
    if (!fromTop) return 0;
    out.Stop(buffer);
  }
  out.SetPlayCursor(buffer, fromTop ? 0 : cursor);
  if (out.Play(buffer, playType == 3) != 0) return -1;
  r->playStartTime = static_cast<int>(Os().TickMilliseconds());
  if (playType == 0) {
    while (ProcessMessage() == 0 && CheckSoundPlaying(handle) == 1) Os().Sleep(1);
  }
  return 0;
}

int SetSoundVolume(int volume, SoundHandle handle) {
  if (!g_system.up) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  if (volume > 255) volume = 255;
  int attenuation = -10000;
  if (volume > 0) {
    attenuation = static_cast<int>(1000.0 * log10(volume / 255.0));
    if (attenuation < -10000) attenuation = -10000;
  }
  const PlatformSoundOps& out = SoundOut();
  if (r->isStream) {
    if (PlatformSoundBuffer* ring = StreamRing(r)) out.SetVolume(ring, attenuation);
    return 0;
  }
  for (int i = 0; i < r->bufferCount; ++i) out.SetVolume(r->buffers[i].buffer, attenuation);
  return 0;
}

int SetSoundLoopPosition(int milliseconds, SoundHandle handle) {
  if (!g_system.up) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  const uint32_t loopSample = static_cast<uint32_t>(milliseconds) * r->format.SamplesPerSec / 1000u;
  const int64_t length =
      r->isStream ? r->stream.totalSamples : static_cast<int64_t>(r->pcmSize / (r->format.BlockAlign ? r->format.BlockAlign : 1));
  if (static_cast<int64_t>(loopSample) >= length) return -1;

  if (!r->isStream) {
    size_t imageSize = 0;
    const uint8_t* samples = StaticSamples(r);
    uint8_t* image =
        samples ? BuildWaveImage(r->format, static_cast<int>(kWaveFormatBytes), samples, r->pcmSize, &imageSize)
                : nullptr;
    if (!image) {
      LogWrite("ストリームサウンドハンドルの作成に失敗しました\n");
      return -1;
    }
    DeleteSound(handle);
    int added = AddSoundData(handle);
    int result = added == handle ? AddStreamSoundImage(image, imageSize, handle) : -1;
    if (added != handle) MemFree(image);
    if (result != 0) {
      // Nothing half made is left behind under the handle.
      if (added != -1) DeleteSound(added);
      LogWrite("ストリームサウンドハンドルの作成に失敗しました\n");
      return -1;
    }
    r = GetSoundRecord(handle);
  }
  if (r->stream.sourceCount >= 2) {
    LogWrite("二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません\n");
    return -1;
  }
  StreamSource& source = r->stream.sources[0];
  source.loopStart = loopSample;
  source.loopCount = -1;  // 255: repeat without end
  SoundDecoderSetLoopTarget(&source.decoder, static_cast<int64_t>(loopSample) * r->format.BlockAlign);
  return 0;
}

int DeleteSound(int handle) {
  if (!g_system.up) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  return DeleteSoundRecord(handle, r);
}

int DeleteAllSounds(int) {
  if (!g_system.up) return -1;
  for (int slot = 0; slot < kSoundTableSize; ++slot) {
    int handle = HandleAtSlot(&g_system.table, slot);
    if (handle != -1) DeleteSound(handle);
  }
  return 0;
}

int CheckSoundPlaying(int handle) {
  if (!g_system.up) return -1;
  SoundRecord* r = GetSoundRecord(handle);
  if (!r) return -1;
  if (r->isStream) return CheckStreamSoundPlaying(handle);
  for (int i = 0; i < r->bufferCount; ++i) {
    if (SoundOut().IsPlaying(r->buffers[i].buffer)) return 1;
  }
  return 0;
}

}  // namespace qx
