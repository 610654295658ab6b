// Settings file, save file and the volume table.
#ifndef QUARNEX_GAME_SETTINGS_H
#define QUARNEX_GAME_SETTINGS_H

extern int ConfirmPadBit;
extern int VolumeLevel;
extern int SoundVolume;
extern int MusicVolume;
extern int HighScore;
extern int HighGameCount;

void LoadSettings();
void SaveSettings();
void ApplyVolumeLevel();
void LoadSaveData();
// Writes the better of HighScore and score, and HighGameCount.
void SaveSaveData(int score);

#endif
