// Sound handles and stream sounds as the sound code shares them between
// sound.cpp (handles, static playback) and stream.cpp (the stream engine).
#ifndef QUARNEX_RUNTIME_SOUND_SOUND_INTERNAL_H
#define QUARNEX_RUNTIME_SOUND_SOUND_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/core/handle.h"
#include "runtime/file/file.h"
#include "runtime/platform/platform.h"
#include "runtime/sound/sound_decoder.h"

namespace qx {

constexpr int kMaxPlayBuffers = 10;
constexpr int kMaxStreamSources = 3;
constexpr int kSoundTableSize = 4096;
constexpr int kStreamRingSeconds = 6;

struct PlayBuffer {
  int inUse;
  PlatformSoundBuffer* buffer;
};

struct StreamSource {
  int8_t loopCount;      // extra passes from the loop start; -1 = without end
  int sourceType;        // 0, 2 or 3
  uint8_t* data;         // in-memory copy (types 0 and 2)
  size_t size;
  MemoryStream* memory;  // over data (types 0 and 2)
  SoundDecoder decoder;
  int64_t loopStart;     // sample
};

struct StreamState {
  StreamSource sources[kMaxStreamSources];
  int sourceCount;
  int current;           // source being decoded
  int loopCounter;       // times the current source has reached its end
  int64_t sourcePosition;
  int64_t totalSamples;
  int64_t ringSize;
  int64_t write;         // W; -800 before the first fill
  int64_t guard;         // V; -1 before the first fill
  int setUp;
  int tail;
  int looped;
  int endReached;
  int64_t tailEnd;
  int64_t tailStart;
  int sharedOwner;       // stream sound whose ring this one uses, -1 = own ring
  int references;        // sharers of this one's ring
  int pendingDelete;
  int boundHandle;       // handle currently bound to this one's ring
  int64_t playedBytes;
  size_t lastCursor;
  HandleListNode node;   // in the stream list
};

struct SoundRecord {
  HandleRecordHeader header;
  PlayBuffer buffers[kMaxPlayBuffers];
  WaveFormat format;
  int isStream;
  int playType;
  int playStartTime;
  StreamState stream;
  size_t pcmSize;
  uint8_t* pcm;
  int bufferCount;
  int currentBuffer;
};

// sound.cpp
int SoundSystemUp();
const PlatformSoundOps& SoundOut();
SoundRecord* GetSoundRecord(int handle);
int AddSoundData(int handle);
SoundHandle CreateSoundFromMemory(const void* image, size_t size, int bufferCount);
// Creates the record's play buffers (static) or its ring (stream); 0 or -1.
int CreateSoundBuffers(const WaveFormat& format, size_t size, int count, int stream, int handle);
int DeleteSound(int handle);
int CheckSoundPlaying(int handle);

// stream.cpp
void StreamListInit();
void StreamListAdd(SoundRecord* record, int handle);
void StreamListRemove(SoundRecord* record);
int AddSreamSound(const StreamOps& ops, void* streamHandle, int loopCount, int handle, int sourceType,
                  int* ownsData, int unionHandle);
// A type 0 source from a WAVE image of plain PCM, as its decoding would
// make it: the source keeps the block (from MemAlloc) instead of decoding a
// copy. The block is freed on failure too. 0 or -1.
int AddStreamSoundImage(uint8_t* image, size_t size, int handle);
int PlayStreamSound(int handle, int playType, int fromTop);
int StopStreamSound(int handle);
int CheckStreamSoundPlaying(int handle);
int UpdateStreamSound(int handle);
void UpdateStreamSounds();
// The platform buffer a stream sound plays through (its own ring or its owner's).
PlatformSoundBuffer* StreamRing(SoundRecord* record);
// Releases the sources and the ring share of a stream sound being deleted.
void ReleaseStreamSound(SoundRecord* record);

}  // namespace qx

#endif
