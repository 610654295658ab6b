// Placeholders until input tracking and the settings files are written.
#include "game/input_hold.h"
#include "game/settings.h"

int ConfirmPadBit = 4;
int VolumeLevel = 5;
int SoundVolume = 0;
int MusicVolume = 0;
int HighScore = 0;
int HighGameCount = 0;

int UpdateKeyHold() { return 0; }
int UpdatePadHold() { return 0; }
int UpdateMouseHold() { return 0; }
int GetKeyHold(int) { return 0; }
int GetMouseHold(int) { return 0; }
int CheckStatePad(int) { return -1; }
void RaiseHold(int* counter, int value) {
  if (value > *counter) *counter = value;
}
void SetDefaultKeyMap() {}
void LoadSettings() {}
void SaveSettings() {}
void ApplyVolumeLevel() {}
void LoadSaveData() {}
void SaveSaveData(int) {}
