#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "game/settings.h"

namespace {

// Each test runs in a fresh working directory, with the globals at their
// start values.
class GameFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
    snprintf(dir_, sizeof dir_, "/tmp/quarnex_files_XXXXXX");
    ASSERT_NE(mkdtemp(dir_), nullptr);
    ASSERT_EQ(chdir(dir_), 0);
    ConfirmPadBit = VolumeLevel = SoundVolume = MusicVolume = HighScore = HighGameCount = 0;
  }
  void TearDown() override {
    for (const char* name : {"cfg.ini", "sv.syk", "sv.syk.tmp"}) {
      unlink(name);
      rmdir(name);
    }
    EXPECT_EQ(chdir(oldDir_), 0);
    EXPECT_EQ(rmdir(dir_), 0);
  }

  static void Write(const char* name, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) ASSERT_EQ(fwrite(bytes.data(), bytes.size(), 1, f), 1u);
    fclose(f);
  }
  static void WriteText(const char* name, const std::string& text) {
    Write(name, std::vector<unsigned char>(text.begin(), text.end()));
  }
  static std::vector<unsigned char> Read(const char* name) {
    std::vector<unsigned char> bytes;
    FILE* f = fopen(name, "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
    fclose(f);
    return bytes;
  }
  static bool Exists(const char* name) {
    struct stat st;
    return stat(name, &st) == 0;
  }

  char oldDir_[PATH_MAX];
  char dir_[64];
};

struct SettingsCase {
  const char* content;  // null: no file
  int padBit, level, soundVolume;
};

TEST_F(GameFiles, LoadSettings) {
  const SettingsCase cases[] = {
      {"2\n3\n", 2, 3, 100},
      {"2\r\n3\r\n", 2, 3, 100},
      {"  0\n 1 ", 0, 1, 25},
      {"7", 7, 5, 255},
      {"", 4, 5, 255},
      {nullptr, 4, 5, 255},
      {"x\n3\n", 0, 3, 100},    // a line without a number keeps the start value
      {"2\n9\n", 2, 9, 0},      // a level outside the table keeps the volume silent
      {"16\n4\n", 4, 4, 179},   // a pad bit past the 16 counters
      {"-1\n0\n", 4, 0, 0},
  };
  for (const SettingsCase& c : cases) {
    unlink("cfg.ini");
    if (c.content) WriteText("cfg.ini", c.content);
    ConfirmPadBit = VolumeLevel = SoundVolume = MusicVolume = 0;
    LoadSettings();
    ApplyVolumeLevel();
    std::string label = c.content ? c.content : "(missing)";
    EXPECT_EQ(ConfirmPadBit, c.padBit) << label;
    EXPECT_EQ(VolumeLevel, c.level) << label;
    EXPECT_EQ(SoundVolume, c.soundVolume) << label;
    EXPECT_EQ(MusicVolume, c.soundVolume) << label;
    // Loading never rewrites the file; a missing one is created empty.
    std::string expected = c.content ? c.content : "";
    std::vector<unsigned char> bytes = Read("cfg.ini");
    EXPECT_TRUE(Exists("cfg.ini")) << label;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << label;
  }
}

TEST_F(GameFiles, VolumeTable) {
  const int table[][2] = {{0, 0}, {1, 25}, {2, 50}, {3, 100}, {4, 179}, {5, 255}};
  for (const auto& row : table) {
    VolumeLevel = row[0];
    ApplyVolumeLevel();
    EXPECT_EQ(SoundVolume, row[1]);
    EXPECT_EQ(MusicVolume, row[1]);
  }
  VolumeLevel = 6;
  ApplyVolumeLevel();
  EXPECT_EQ(SoundVolume, 255);  // unchanged
}

TEST_F(GameFiles, SaveSettingsWritesTwoLines) {
  WriteText("cfg.ini", "1\n1\nold trailing text\n");
  ConfirmPadBit = 4;
  VolumeLevel = 2;
  SaveSettings();
  std::vector<unsigned char> bytes = Read("cfg.ini");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "4\n2\n");
}

// What the game does at the end of a game: count a score above 255, then save.
void EndGame(int score) {
  if (score > 255) ++HighGameCount;
  SaveSaveData(score);
}

TEST_F(GameFiles, SaveDataKeepsTheBetterScore) {
  struct Case {
    int score;
    std::vector<unsigned char> after;
  };
  const Case cases[] = {
      {300, {0x2C, 0x01, 0, 0, 0x03, 0, 0, 0}},
      {50, {0x78, 0, 0, 0, 0x02, 0, 0, 0}},
      {120, {0x78, 0, 0, 0, 0x02, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Write("sv.syk", {0x78, 0, 0, 0, 0x02, 0, 0, 0});  // 120, 2
    HighScore = HighGameCount = 0;
    LoadSaveData();
    ASSERT_EQ(HighScore, 120);
    ASSERT_EQ(HighGameCount, 2);
    EndGame(c.score);
    EXPECT_EQ(Read("sv.syk"), c.after) << c.score;
    EXPECT_EQ(HighScore, 120) << "memory is left to the next title entry";
    EXPECT_FALSE(Exists("sv.syk.tmp"));
  }
}

TEST_F(GameFiles, LoadSaveDataShortAndMissingFiles) {
  HighScore = 5;
  HighGameCount = 7;
  Write("sv.syk", {0x10, 0x27, 0, 0});  // 10000 only
  LoadSaveData();
  EXPECT_EQ(HighScore, 10000);
  EXPECT_EQ(HighGameCount, 7);

  unlink("sv.syk");
  HighScore = HighGameCount = 0;
  LoadSaveData();
  EXPECT_EQ(HighScore, 0);
  EXPECT_EQ(HighGameCount, 0);
  EXPECT_TRUE(Exists("sv.syk"));
  EXPECT_TRUE(Read("sv.syk").empty());

  Write("sv.syk", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80});
  LoadSaveData();
  EXPECT_EQ(HighScore, -1);
  EXPECT_EQ(HighGameCount, INT_MIN);
}

TEST_F(GameFiles, InterruptedSaveKeepsTheOldFile) {
  const std::vector<unsigned char> old = {0x78, 0, 0, 0, 0x02, 0, 0, 0};
  HighScore = 120;
  HighGameCount = 2;

  // The disk fills up while the new file is written.
  struct stat full;
  ASSERT_EQ(stat("/dev/full", &full), 0);
  ASSERT_TRUE(S_ISCHR(full.st_mode));
  Write("sv.syk", old);
  ASSERT_EQ(symlink("/dev/full", "sv.syk.tmp"), 0);
  SaveSaveData(999);
  EXPECT_EQ(Read("sv.syk"), old);
  EXPECT_FALSE(Exists("sv.syk.tmp"));

  // The new file cannot even be created.
  ASSERT_EQ(mkdir("sv.syk.tmp", 0700), 0);
  SaveSaveData(999);
  EXPECT_EQ(Read("sv.syk"), old);

  rmdir("sv.syk.tmp");
  SaveSaveData(999);
  EXPECT_EQ(Read("sv.syk"), (std::vector<unsigned char>{0xE7, 0x03, 0, 0, 0x02, 0, 0, 0}));
}

}  // namespace
