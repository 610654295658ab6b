// The real game binary on the headless back end with a scripted player, from
// the logo to a finished game and back to the title.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/xvfb_support.h"
#include <string>
#include <vector>

#include "support/game_launch.h"

namespace fs = std::filesystem;

namespace {

// Presented-frame numbers of the script. The logo is left at once; the title
// then gets its volume changes and the click; the intro is clicked away; the
// player attacks for a while and then lets the stones through.
constexpr int kLogoClick = 5;
constexpr int kTitleStart = 12;         // the title's first presented frame, near enough
constexpr int kStartClick = 230;
constexpr int kIntroClick = kStartClick + 65 + 180;
constexpr int kPlayStart = kIntroClick + 121;  // the play loop's first frame, near enough
constexpr int kAttackFirst = kPlayStart + 130;
constexpr int kAttackLast = kPlayStart + 330;
// Without attacks the last life goes about 883 play frames in, later by 80 for
// each spawn chance missed; a press here falls after the game-over picture and
// before the time-out for up to seven misses.
constexpr int kGameOverPress = kPlayStart + 1564;
// Released and then Escape on the title; the held button starts no second game.
constexpr int kRelease = kGameOverPress + 100;
constexpr int kEscape = kGameOverPress + 200;

std::string Script(bool pressAtGameOver) {
  std::ostringstream s;
  s << "frame " << kLogoClick << " click left 10 10\n";
  // Right at level 5 changes nothing, seven Lefts stop at 0, two Rights give 2.
  int f = kTitleStart + 70;
  auto press = [&](const char* key) {
    s << "frame " << f << " key " << key << " down\n";
    s << "frame " << f + 2 << " key " << key << " up\n";
    f += 4;
  };
  press("Right");
  for (int i = 0; i < 7; ++i) press("Left");
  for (int i = 0; i < 2; ++i) press("Right");
  s << "frame " << kStartClick << " click left 400 300\n";
  s << "frame " << kIntroClick << " click left 400 300\n";
  // Eight points on a ring around the core: every stone deep enough to be hit
  // is within reach of the nearest one. Now and then the attack type changes.
  int point = 0;
  for (int frame = kAttackFirst; frame <= kAttackLast; frame += 2, ++point) {
    const double angle = (point % 8) * M_PI / 4;
    const int x = 400 + static_cast<int>(std::lround(150 * std::cos(angle)));
    const int y = 280 + static_cast<int>(std::lround(150 * std::sin(angle)));
    s << "frame " << frame << " click left " << x << " " << y << "\n";
    if (point % 24 == 23) s << "frame " << frame + 1 << " click right " << x << " " << y << "\n";
  }
  if (pressAtGameOver) {
    s << "frame " << kGameOverPress << " down left\n";
    s << "frame " << kRelease << " up left\n";
  }
  s << "frame " << kEscape << " key Escape down\n";
  return s.str();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct RunResult {
  int exitCode = -999;
  std::string config;
  std::string save;
  std::string hashes;
  std::string checkpoints;
};

using qxtest::GameBinary;
using qxtest::GameRun;

fs::path Resources() { return fs::path(QUARNEX_BINARY_DIR) / "run" / "res.ptk"; }

// Starts the game in a fresh working directory holding only the resources.
GameRun StartRun(const std::string& script) {
  return qxtest::StartHeadlessGame(
      "quarnex_e2e", script,
      [](const fs::path& dir) {
        std::error_code copied;
        fs::copy_file(Resources(), dir / "res.ptk", copied);
      },
      {{"QUARNEX_FRAME_HASHES", "hashes.txt"}, {"QUARNEX_CHECKPOINTS", "checkpoints.txt"}});
}

RunResult FinishRun(const GameRun& run) {
  RunResult result;
  int status = 0;
  if (run.pid > 0 && waitpid(run.pid, &status, 0) == run.pid) {
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  if (run.dir.empty()) return result;
  result.config = ReadFile(run.dir / "cfg.ini");
  result.save = ReadFile(run.dir / "sv.syk");
  result.hashes = ReadFile(run.dir / "hashes.txt");
  result.checkpoints = ReadFile(run.dir / "checkpoints.txt");
  std::error_code ignored;
  fs::remove_all(run.dir, ignored);
  return result;
}

int32_t LittleEndianAt(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return static_cast<int32_t>(v);
}

TEST(EndToEnd, ScriptedPlayerFromLogoToGameOverAndBack) {
  ASSERT_TRUE(fs::exists(GameBinary())) << GameBinary();
  ASSERT_TRUE(fs::exists(Resources())) << Resources();
  const std::string script = Script(true);

  // The same script twice, and once without the press at the game over.
  const GameRun runs[3] = {StartRun(script), StartRun(script), StartRun(Script(false))};
  const RunResult first = FinishRun(runs[0]);
  const RunResult second = FinishRun(runs[1]);
  const RunResult unpressed = FinishRun(runs[2]);

  EXPECT_EQ(first.exitCode, 0);
  // Level 5, Right clamped, seven Lefts clamped at 0, two Rights: level 2.
  EXPECT_EQ(first.config, "4\n2\n");
  ASSERT_EQ(first.save.size(), 8u);
  const int32_t score = LittleEndianAt(first.save, 0);
  EXPECT_GT(score, 0) << "no stone was broken";
  EXPECT_LT(score, 256);
  EXPECT_EQ(LittleEndianAt(first.save, 4), 0);
  // Every presented frame got a line: the run went on to its Escape.
  const size_t lines = static_cast<size_t>(std::count(first.hashes.begin(), first.hashes.end(), '\n'));
  EXPECT_GE(lines, static_cast<size_t>(kEscape));

  // The runtime freed everything it allocated: the allocation report at the
  // end lists no block.
  const size_t end = first.checkpoints.rfind("end ");
  ASSERT_NE(end, std::string::npos) << first.checkpoints;
  EXPECT_EQ(first.checkpoints.compare(end, 22, "end blocks=0 bytes=0 h"), 0) << first.checkpoints.substr(end);

  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.save, first.save);
  EXPECT_EQ(second.config, first.config);
  EXPECT_FALSE(first.hashes.empty());
  EXPECT_TRUE(second.hashes == first.hashes) << "two runs with the same date and script presented different frames";

  // Without the press the game was still on at the same Escape: the title
  // created an empty save file and nothing wrote the score. So in the runs
  // above it was the click that left the game over.
  EXPECT_EQ(unpressed.exitCode, 0);
  EXPECT_EQ(unpressed.save.size(), 0u);
  EXPECT_EQ(unpressed.config, "4\n2\n");
}

// A game played in a real window (scripted input through the SDL back end,
// the software renderer) and recorded, then played headless from the
// recording alone: the same frames, score and saved files. The live run has
// the real clock and the real date; the recording carries both where the
// game depends on them.
TEST(EndToEnd, ALiveGameRecordedInAWindowReplaysHeadless) {
  if (!qxtest::Executable("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(fs::exists(GameBinary())) << GameBinary();
  pid_t xvfb = -1;
  const std::string display = qxtest::StartXvfb(&xvfb);
  ASSERT_FALSE(display.empty()) << "Xvfb did not start";

  char pattern[] = "/tmp/quarnex_record_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path live = pattern;
  fs::copy_file(Resources(), live / "res.ptk");
  std::ofstream(live / "script.txt") << Script(true);
  const int out = open((live / "output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const pid_t game = qxtest::Spawn({GameBinary().string()},
                                   {"DISPLAY=" + display, "QUARNEX_PLATFORM=sdl", "QUARNEX_RENDERER=software",
                                    "SDL_AUDIODRIVER=dummy", "QUARNEX_LOCK_DIR=" + live.string(),
                                    "QUARNEX_SCRIPT=" + (live / "script.txt").string(),
                                    "QUARNEX_RECORD=" + (live / "record.txt").string(),
                                    "QUARNEX_FRAME_HASHES=" + (live / "hashes.txt").string()},
                                   live.string(), out);
  if (out >= 0) close(out);
  const int liveExit = qxtest::WaitExit(game, qxtest::kPatienceMs);
  if (liveExit == -1) qxtest::StopProcess(game);
  qxtest::StopProcess(xvfb);
  const std::string record = ReadFile(live / "record.txt");
  const std::string liveSave = ReadFile(live / "sv.syk");
  const std::string liveConfig = ReadFile(live / "cfg.ini");
  const std::string liveHashes = ReadFile(live / "hashes.txt");
  const std::string liveOutput = ReadFile(live / "output.txt");
  std::error_code ignored;
  fs::remove_all(live, ignored);
  ASSERT_EQ(liveExit, 0) << liveOutput;
  // The game was played to its end: a score saved, every frame hashed.
  ASSERT_EQ(liveSave.size(), 8u);
  EXPECT_GT(LittleEndianAt(liveSave, 0), 0) << "no stone was broken";
  EXPECT_EQ(liveConfig, "4\n2\n");
  EXPECT_GE(static_cast<size_t>(std::count(liveHashes.begin(), liveHashes.end(), '\n')),
            static_cast<size_t>(kEscape));
  EXPECT_NE(record.find(" date "), std::string::npos) << "the recording holds no date";

  const RunResult replay = FinishRun(StartRun(record));
  EXPECT_EQ(replay.exitCode, 0);
  EXPECT_EQ(replay.save, liveSave);
  EXPECT_EQ(replay.config, liveConfig);
  EXPECT_TRUE(replay.hashes == liveHashes) << "the replay presented other frames than the live game";
}

}  // namespace
