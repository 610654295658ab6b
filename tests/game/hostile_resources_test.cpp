// The real game on the headless back end with damaged files around it: each
// kind of damage to a resource (missing, truncated, random bytes), to all of
// them at once, to the archive, the settings and the save file. Every run
// must reach a game over (which writes the save file), quit with status 0,
// never crash, and name on standard error exactly the files it could not load.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/game_launch.h"
#include "support/read_file.h"

namespace fs = std::filesystem;

namespace {

using qxtest::GameBinary;
using qxtest::GameRun;

fs::path Archive() { return fs::path(QUARNEX_BINARY_DIR) / "run" / "res.ptk"; }
fs::path LooseTree() { return fs::path(QUARNEX_BINARY_DIR) / "run-res" / "res"; }

// Clicks far from the stones every half second, so the logo, the title, the
// intro and the game over are left whenever they allow it, and the stones
// get through; a volume press on the title; Escape well after the first game
// over.
std::string Script() {
  std::ostringstream s;
  for (int frame = 5; frame < 2400; frame += 30) s << "frame " << frame << " click left 10 10\n";
  s << "frame 100 key Right down\nframe 102 key Right up\n";
  s << "frame 2400 key Escape down\n";
  return s.str();
}

std::vector<char> RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<char> bytes(size);
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

void WriteBytes(const fs::path& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Truncate(const fs::path& path) { fs::resize_file(path, fs::file_size(path) / 3); }
void Scramble(const fs::path& path) { WriteBytes(path, RandomBytes(fs::file_size(path), 7)); }

void CopyLoose(const fs::path& dir) { fs::copy(LooseTree(), dir / "res", fs::copy_options::recursive); }
void CopyArchive(const fs::path& dir) { fs::copy_file(Archive(), dir / "res.ptk"); }

void ForEachResource(const fs::path& dir, const std::function<void(const fs::path&)>& change) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir / "res"))
    if (e.is_regular_file()) files.push_back(e.path());
  for (const fs::path& f : files) change(f);
}

// The game's resources, as it names them ("./res/img/game/bg1.png").
std::vector<std::string> ResourceNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(LooseTree()))
    if (e.is_regular_file()) names.push_back("./res/" + e.path().lexically_relative(LooseTree()).generic_string());
  return names;
}

constexpr const char* kEveryResource = "*";
// Every picture; a sound cut short plays the part it holds.
constexpr const char* kEveryPicture = "*.png";

struct Case {
  const char* name;  // as the test is named: letters and digits only
  std::function<void(const fs::path&)> prepare;
  const char* unloadable;  // the resource that cannot be loaded, kEveryResource, or none
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"NoResourcesAtAll", [](const fs::path&) {}, kEveryResource},
      {"LogoPictureMissing", [](const fs::path& d) { CopyLoose(d); fs::remove(d / "res/img/common/kest.png"); },
       "./res/img/common/kest.png"},
      {"TitlePictureTruncated", [](const fs::path& d) { CopyLoose(d); Truncate(d / "res/img/common/title0.png"); },
       "./res/img/common/title0.png"},
      {"StonePictureRandom", [](const fs::path& d) { CopyLoose(d); Scramble(d / "res/img/game/stone1.png"); },
       "./res/img/game/stone1.png"},
      // A third of the music, which ends before its loop point: it loads and loops whole.
      {"MusicTruncated", [](const fs::path& d) { CopyLoose(d); Truncate(d / "res/mzk/tarvelon.wav"); }, nullptr},
      {"EveryFileTruncated", [](const fs::path& d) { CopyLoose(d); ForEachResource(d, Truncate); }, kEveryPicture},
      {"EveryFileRandom", [](const fs::path& d) { CopyLoose(d); ForEachResource(d, Scramble); }, kEveryResource},
      {"ArchiveTruncated", [](const fs::path& d) { CopyArchive(d); Truncate(d / "res.ptk"); }, kEveryResource},
      {"ArchiveRandom", [](const fs::path& d) { CopyArchive(d); Scramble(d / "res.ptk"); }, kEveryResource},
      {"SettingsAndSaveDamaged",
       [](const fs::path& d) {
         CopyArchive(d);
         std::ofstream(d / "cfg.ini") << "2147483647\n2147483647 trailing words\n";
         WriteBytes(d / "sv.syk", RandomBytes(5, 3));
       },
       nullptr},
      {"SettingsRandomSaveHoldingTheLargestCounts",
       [](const fs::path& d) {
         CopyArchive(d);
         WriteBytes(d / "cfg.ini", RandomBytes(64, 5));
         // Four bytes past the record, so the rewrite after the game over shows.
         WriteBytes(d / "sv.syk", {'\xff', '\xff', '\xff', '\x7f', '\xff', '\xff', '\xff', '\x7f', 1, 2, 3, 4});
       },
       nullptr},
  };
  return cases;
}

// Each case is a test of its own, so ctest runs the cases side by side as the
// cores allow and a failure names its case.
class HostileResources : public ::testing::TestWithParam<size_t> {};

TEST_P(HostileResources, TheGameStartsPlaysToGameOverAndQuitsWhateverItsFilesHold) {
  ASSERT_TRUE(fs::exists(GameBinary())) << GameBinary();
  ASSERT_TRUE(fs::exists(Archive())) << Archive();
  ASSERT_TRUE(fs::exists(LooseTree())) << LooseTree();
  const std::vector<std::string> names = ResourceNames();
  ASSERT_FALSE(names.empty());
  const Case& c = Cases()[GetParam()];
  const GameRun run = qxtest::StartHeadlessGame("quarnex_hostile", Script(), c.prepare, {}, true);
  ASSERT_GT(run.pid, 0) << "no folder for the run";
  int status = 0;
  ASSERT_EQ(waitpid(run.pid, &status, 0), run.pid);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  // The game over wrote the save file: 8 bytes whatever it held before.
  std::error_code ec;
  EXPECT_EQ(fs::file_size(run.dir / "sv.syk", ec), 8u) << "no game over was reached";
  const std::string errors = qxtest::ReadWholeText((run.dir / "stderr.txt").string());
  for (const std::string& name : names) {
    const bool picture = name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
    const bool expected = c.unloadable && (c.unloadable == kEveryResource || (c.unloadable == kEveryPicture && picture) ||
                                           name == c.unloadable);
    EXPECT_EQ(errors.find(name) != std::string::npos, expected)
        << name << (expected ? " is not reported" : " is reported") << "; standard error:\n" << errors;
  }
  fs::remove_all(run.dir, ec);
}

INSTANTIATE_TEST_SUITE_P(Damage, HostileResources, ::testing::Range<size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) { return Cases()[info.param].name; });

}  // namespace
