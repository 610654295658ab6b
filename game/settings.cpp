// "./cfg.ini" (confirm-key pad bit and volume level), "./sv.syk" (high score
// and count of games above 255) and the volume table. Both files live in the
// working directory and are opened directly, never from an archive; they are
// replaced through the platform so that a crash never leaves them torn.
#include "game/settings.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>

#include "runtime/platform/replace_file.h"

int ConfirmPadBit = 0;
int VolumeLevel = 0;
int SoundVolume = 0;
int MusicVolume = 0;
int HighScore = 0;
int HighGameCount = 0;

namespace {

constexpr const char* kSettingsPath = "./cfg.ini";
constexpr const char* kSavePath = "./sv.syk";

const int kVolumeTable[6] = {0, 25, 50, 100, 179, 255};

void PutLittleEndian(unsigned char* out, int value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

int GetLittleEndian(const unsigned char* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int>(v);
}

// Reads a decimal number as fscanf's "%d" does (the same result and the same
// characters taken), except that a number beyond int's range saturates: the
// file may hold anything, and fscanf's result for such a number is undefined.
int ReadDecimal(FILE* f, int* out) {
  int c;
  do c = getc(f);
  while (c == ' ' || (c >= '\t' && c <= '\r'));
  if (c == EOF) return EOF;
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = getc(f);
  if (c < '0' || c > '9') {
    if (c != EOF) ungetc(c, f);
    return 0;
  }
  long long magnitude = 0;
  for (; c >= '0' && c <= '9'; c = getc(f)) {
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
  }
  if (c != EOF) ungetc(c, f);
  if (negative) *out = magnitude > -static_cast<long long>(INT_MIN) ? INT_MIN : static_cast<int>(-magnitude);
  else *out = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
  return 1;
}

}  // namespace

void LoadSettings() {
  FILE* f = fopen(kSettingsPath, "r");
  if (!f) f = fopen(kSettingsPath, "w+");
  if (!f) return;
  fseek(f, 0, SEEK_SET);
  if (ReadDecimal(f, &ConfirmPadBit) == EOF) ConfirmPadBit = 4;
  fseek(f, 1, SEEK_CUR);
  if (ReadDecimal(f, &VolumeLevel) == EOF) VolumeLevel = 5;
  fclose(f);
  // The pad bit indexes the 16 pad counters.
  if (ConfirmPadBit < 0 || ConfirmPadBit > 15) ConfirmPadBit = 4;
}

void SaveSettings() {
  char text[32];
  int length = snprintf(text, sizeof text, "%d\n%d\n", ConfirmPadBit, VolumeLevel);
  qx::ReplaceFileContents(kSettingsPath, text, static_cast<size_t>(length));
}

void ApplyVolumeLevel() {
  if (VolumeLevel >= 0 && VolumeLevel <= 5) SoundVolume = kVolumeTable[VolumeLevel];
  MusicVolume = SoundVolume;
}

void LoadSaveData() {
  FILE* f = fopen(kSavePath, "rb");
  if (!f) f = fopen(kSavePath, "wb+");
  if (!f) return;
  unsigned char bytes[4];
  if (fread(bytes, 4, 1, f) == 1) HighScore = GetLittleEndian(bytes);
  if (fread(bytes, 4, 1, f) == 1) HighGameCount = GetLittleEndian(bytes);
  fclose(f);
}

void SaveSaveData(int score) {
  unsigned char bytes[8];
  PutLittleEndian(bytes, HighScore < score ? score : HighScore);
  PutLittleEndian(bytes + 4, HighGameCount);
  // The old file is replaced only by a complete new one, so a crash or a
  // full disk during the write never loses the stored high score.
  qx::ReplaceFileContents(kSavePath, bytes, sizeof bytes);
}
