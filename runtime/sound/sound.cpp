// The sound system. Playback is not built yet, so the system stays down:
// every sound operation returns -1 and the game runs silently.
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"

namespace qx {

int InitSound() {
  LogWrite("DirectSound の初期化を行います\n");
  LogWrite("DirectSound インターフェースの取得を行います....  ");
  LogWrite("DirectSoundインターフェースの作成に失敗しました\n");
  return -1;
}

void EndSound() {}
void StopMusic() {}
void RefillStreamingSounds() {}

int DeleteAllSounds(int) { return -1; }
SoundHandle LoadSoundFile(const char*, int, int) { return -1; }
int PlaySoundHandle(SoundHandle, int, int) { return -1; }
int SetSoundVolume(int, SoundHandle) { return -1; }
int SetSoundLoopPosition(int, SoundHandle) { return -1; }

}  // namespace qx
