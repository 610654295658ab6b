#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <random>
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
    for (const char* name : {"cfg.ini", "cfg.ini.tmp", "sv.syk", "sv.syk.tmp"}) {
      unlink(name);
      rmdir(name);
    }
    EXPECT_EQ(chdir(oldDir_), 0);
    EXPECT_EQ(rmdir(dir_), 0);
  }

  static void Write(const char* name, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
      ASSERT_EQ(fwrite(bytes.data(), bytes.size(), 1, f), 1u);
    }
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
      // What a number is: a sign alone or a hexadecimal prefix is not one,
      // and reading stops at the first character that is not a digit.
      {"-\n3\n", 0, 3, 100},
      {"-x\n3\n", 0, 3, 100},
      {"+5\n+3", 5, 3, 100},
      {"0x10\n3", 0, 10, 0},
      {"12abc\n4", 12, 0, 0},
      {"1\n-", 1, 0, 0},
      {"\t\v\f 3\r\n\r\n4", 3, 4, 179},
      {"2147483647\n-2147483648\n", 4, INT_MIN, 0},
      // Numbers beyond int's range saturate, whatever their length.
      {"99999999999\n2\n", 4, 2, 50},
      {"2\n99999999999\n", 2, INT_MAX, 0},
      {"2\n2147483648\n", 2, INT_MAX, 0},
      {"2\n-2147483649\n", 2, INT_MIN, 0},
      {"3\n-99999999999999999999999999999999\n", 3, INT_MIN, 0},
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

  // The disk fills up while the new file is written: a file size limit of
  // 4 bytes stops the write half-way.
  Write("sv.syk", old);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*savedHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  SaveSaveData(999);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);
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

TEST_F(GameFiles, ALeftoverTemporaryFileIsRemovedByTheNextSave) {
  WriteText("sv.syk.tmp", "torn");
  WriteText("cfg.ini.tmp", "to");
  HighScore = 3;
  SaveSaveData(0);
  EXPECT_EQ(Read("sv.syk"), (std::vector<unsigned char>{3, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(Exists("sv.syk.tmp"));
  SaveSettings();
  EXPECT_FALSE(Exists("cfg.ini.tmp"));
}

TEST_F(GameFiles, SavingKeepsTheFilesMode) {
  WriteText("sv.syk", "12345678");
  WriteText("cfg.ini", "4\n5\n");
  ASSERT_EQ(chmod("sv.syk", 0604), 0);
  ASSERT_EQ(chmod("cfg.ini", 0640), 0);
  SaveSaveData(7);
  VolumeLevel = 1;
  SaveSettings();
  struct stat st;
  ASSERT_EQ(stat("sv.syk", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(stat("cfg.ini", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Read("sv.syk"), (std::vector<unsigned char>{7, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(GameFiles, SavingThroughASymbolicLinkWritesItsTarget) {
  char other[] = "/tmp/quarnex_elsewhere_XXXXXX";
  ASSERT_NE(mkdtemp(other), nullptr);
  const std::string target = std::string(other) + "/real.syk";
  {
    FILE* f = fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
  }
  ASSERT_EQ(symlink(target.c_str(), "sv.syk"), 0);
  SaveSaveData(9);
  struct stat st;
  ASSERT_EQ(lstat("sv.syk", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_EQ(Read(target.c_str()), (std::vector<unsigned char>{9, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(Exists((target + ".tmp").c_str()));
  unlink(target.c_str());
  rmdir(other);
}

// Makes the working directory refuse new files; false when this process
// cannot (root ignores the mode bits, and may lack the immutable attribute).
bool RefuseNewFiles(bool refuse) {
  if (!refuse) {
    [[maybe_unused]] int cleared = system("chattr -i . 2>/dev/null");
    return chmod(".", 0700) == 0;
  }
  if (chmod(".", 0500) != 0) return false;
  int probe = open("probe", O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (probe < 0) return true;
  close(probe);
  unlink("probe");
  if (system("chattr +i . 2>/dev/null") != 0) return false;
  probe = open("probe", O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (probe < 0) return true;
  close(probe);
  unlink("probe");
  return false;
}

TEST_F(GameFiles, AFolderThatRefusesNewFilesGetsTheFilesRewrittenInPlace) {
  WriteText("sv.syk", "12345678");
  WriteText("cfg.ini", "4\n5\n");
  ASSERT_EQ(chmod("sv.syk", 0660), 0);
  if (!RefuseNewFiles(true)) {
    RefuseNewFiles(false);
    GTEST_SKIP() << "this process can make files in any folder";
  }
  SaveSaveData(300);
  ConfirmPadBit = 15;
  VolumeLevel = 0;
  SaveSettings();
  RefuseNewFiles(false);
  EXPECT_EQ(Read("sv.syk"), (std::vector<unsigned char>{0x2C, 0x01, 0, 0, 0, 0, 0, 0}));
  const std::vector<unsigned char> settings = Read("cfg.ini");
  EXPECT_EQ(std::string(settings.begin(), settings.end()), "15\n0\n");
  struct stat st;
  ASSERT_EQ(stat("sv.syk", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
}

// A writer saving both files over and over is killed at random instants; each
// file must then hold one complete version, never nothing or a mix.
TEST_F(GameFiles, AWriterKilledAtAnyInstantLeavesWholeFiles) {
  const std::vector<unsigned char> saves[2] = {{0x2C, 0x01, 0, 0, 0x03, 0, 0, 0}, {7, 0, 0, 0, 0, 0, 0, 0}};
  const std::string settings[2] = {"15\n0\n", "4\n5\n"};
  HighScore = 0;
  HighGameCount = 0;
  SaveSaveData(7);
  ConfirmPadBit = 4;
  VolumeLevel = 5;
  SaveSettings();

  // Kills are spread over two whole write cycles of this machine.
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (int i = 0; i < 10; ++i) {
    SaveSaveData(7);
    SaveSettings();
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const long long cycle = ((end.tv_sec - start.tv_sec) * 1000000LL + (end.tv_nsec - start.tv_nsec) / 1000) / 10;
  std::mt19937 random(14);
  std::uniform_int_distribution<long long> delay(0, 2 * cycle + 100);
  constexpr int kKills = 1000;
  int killedWhileWriting = 0;
  for (int i = 0; i < kKills; ++i) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const int wait = delay(random);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(ready[0]);
      if (write(ready[1], "r", 1) != 1) _exit(1);
      for (unsigned n = 0;; ++n) {
        HighScore = 0;
        HighGameCount = n % 2 ? 0 : 3;
        SaveSaveData(n % 2 ? 7 : 300);
        ConfirmPadBit = n % 2 ? 4 : 15;
        VolumeLevel = n % 2 ? 5 : 0;
        SaveSettings();
      }
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);  // the writer is running
    close(ready[0]);
    usleep(static_cast<useconds_t>(wait));   // only spreads the kills over the write cycle
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    if (Exists("sv.syk.tmp") || Exists("cfg.ini.tmp")) ++killedWhileWriting;

    const std::vector<unsigned char> save = Read("sv.syk");
    ASSERT_TRUE(save == saves[0] || save == saves[1]) << "kill " << i << ": sv.syk holds " << save.size() << " bytes";
    const std::vector<unsigned char> text = Read("cfg.ini");
    const std::string config(text.begin(), text.end());
    ASSERT_TRUE(config == settings[0] || config == settings[1]) << "kill " << i << ": cfg.ini holds \"" << config << "\"";
  }
  // Some kills must have hit a write in progress, or the test proved nothing.
  EXPECT_GT(killedWhileWriting, 0);
  SaveSaveData(0);
  SaveSettings();
  EXPECT_FALSE(Exists("sv.syk.tmp"));
  EXPECT_FALSE(Exists("cfg.ini.tmp"));
}

}  // namespace
