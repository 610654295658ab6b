// quarnex-archive: pack, list and extract round trips and refusals.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/file/rpk.h"
#include "tests/file/file_test_support.h"

namespace {

namespace fs = std::filesystem;

const char kTool[] = QUARNEX_BINARY_DIR "/tools/archive/quarnex-archive";
const char kKey[] = "QxStone8";

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the tool in the current directory with arguments quoted for the shell.
ToolRun Tool(const std::vector<std::string>& args) {
  std::string command = std::string("'") + kTool + "'";
  for (const std::string& a : args) {
    std::string quoted = "'";
    for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  command += " >tool.out 2>tool.err </dev/null";
  int raw = std::system(command.c_str());
  ToolRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000;
  std::vector<uint8_t> out = qxtest::ReadWholeFile("tool.out");
  std::vector<uint8_t> err = qxtest::ReadWholeFile("tool.err");
  r.out.assign(out.begin(), out.end());
  r.err.assign(err.begin(), err.end());
  fs::remove("tool.out");
  fs::remove("tool.err");
  return r;
}

// Every path under `root` (relative), mapped to its contents or "<dir>".
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    if (e.is_directory()) {
      tree[rel] = "<dir>";
    } else {
      std::vector<uint8_t> b = qxtest::ReadWholeFile(e.path().string());
      tree[rel] = std::string(b.begin(), b.end());
    }
  }
  return tree;
}

const std::string kKatakanaWithBackslashByte = "\x83\x5C\x83\x61";  // two characters, second bytes 0x5C and 0x61

void MakeSampleTree() {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "title scene " + std::to_string(i % 9) + "\n";
  qxtest::WriteBytes("res/img/Game/Intro.png", qxtest::Bytes(text));
  qxtest::WriteBytes("res/img/" + kKatakanaWithBackslashByte + ".png", qxtest::Bytes("sjis name"));
  qxtest::WriteBytes("res/\x93\xFA\x96\x7B/\x8C\xEA.txt", qxtest::Bytes("nihongo"));
  qxtest::WriteBytes("res/se/empty.wav", {});
  qxtest::WriteBytes("res/noise.bin", qxtest::Noise(20000, 11));
  qxtest::WriteBytes("res/a/b/c/d/deep.txt", qxtest::Bytes("deep"));
  fs::create_directories("res/emptydir");
  // A known modification time, to see it come back.
  timespec times[2] = {{1000000000, 0}, {1234567890, 500000000}};
  utimensat(AT_FDCWD, "res/noise.bin", times, 0);
}

TEST(ArchiveTool, PackListExtractRoundTrip) {
  qxtest::ScratchDir dir;
  MakeSampleTree();
  ToolRun pack = Tool({"pack", "res", "res.ptk", "--key", kKey});
  ASSERT_EQ(0, pack.status) << pack.err;

  ToolRun list = Tool({"list", "res.ptk", "--key", kKey});
  ASSERT_EQ(0, list.status) << list.err;
  EXPECT_NE(std::string::npos, list.out.find("     20000      20000  noise.bin\n")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("         0          0  se/empty.wav\n")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("  img/" + kKatakanaWithBackslashByte + ".png\n")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("  a/b/c/d/\n")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("  emptydir/\n")) << list.out;
  // The text compresses: its stored size is below its size.
  size_t at = list.out.find("  img/Game/Intro.png");
  ASSERT_NE(std::string::npos, at);
  size_t lineStart = list.out.rfind('\n', at) + 1;
  unsigned size = 0, stored = 0;
  ASSERT_EQ(2, sscanf(list.out.c_str() + lineStart, "%u %u", &size, &stored));
  EXPECT_LT(stored, size / 4);

  ToolRun extract = Tool({"extract", "res.ptk", "out", "--key", kKey});
  ASSERT_EQ(0, extract.status) << extract.err;
  EXPECT_EQ(Tree("res"), Tree("out"));
  struct stat st;
  ASSERT_EQ(0, stat("out/noise.bin", &st));
  EXPECT_EQ(1234567890, st.st_mtim.tv_sec);
  EXPECT_EQ(500000000, st.st_mtim.tv_nsec);

  // The runtime reads the same archive in place of the directory.
  fs::remove_all("res");
  qx::InitFileLayer();
  qx::SetArchiveExtension("ptk");
  qx::SetArchiveKeyString(kKey);
  qx::FileHandle h = qx::FileOpen("./res/img/game/intro.png", 0, 1, 0);
  ASSERT_NE(0u, h);
  std::vector<uint8_t> expected = qxtest::ReadWholeFile("out/img/Game/Intro.png");
  std::vector<uint8_t> got(expected.size() + 1);
  EXPECT_EQ(expected.size(), qx::FileRead(got.data(), 1, got.size(), h));
  got.resize(expected.size());
  EXPECT_EQ(expected, got);
  EXPECT_EQ(0, qx::FileClose(h));
  qx::CloseUnusedArchives();
}

TEST(ArchiveTool, StoreKeepsEveryFileAsIs) {
  qxtest::ScratchDir dir;
  qxtest::WriteBytes("d/zeros.bin", std::vector<uint8_t>(3000, 0));
  ASSERT_EQ(0, Tool({"pack", "d", "d.ptk", "--store"}).status);
  ToolRun list = Tool({"list", "d.ptk"});
  EXPECT_EQ(0, list.status);
  EXPECT_NE(std::string::npos, list.out.find("      3000       3000  zeros.bin\n")) << list.out;
  ASSERT_EQ(0, Tool({"extract", "d.ptk", "e"}).status);
  EXPECT_EQ(Tree("d"), Tree("e"));
}

TEST(ArchiveTool, RefusalsGiveAMessageAndAFailureStatus) {
  qxtest::ScratchDir dir;
  qxtest::WriteBytes("res/a.txt", qxtest::Bytes("a"));
  ASSERT_EQ(0, Tool({"pack", "res", "res.ptk", "--key", kKey}).status);
  std::vector<uint8_t> bytes = qxtest::ReadWholeFile("res.ptk");
  qxtest::WriteBytes("short.ptk", std::vector<uint8_t>(bytes.begin(), bytes.end() - 5));
  qxtest::WriteBytes("plain.txt", qxtest::Bytes("not an archive at all"));
  {
    // The root directory claims far more entries than the file table holds.
    std::vector<uint8_t> damaged = bytes;
    uint8_t key[qx::kRpkKeySize];
    qx::DeriveArchiveKey(kKey, key);
    qx::ApplyArchiveXor(damaged.data(), damaged.size(), 0, key);
    auto u32 = [&](size_t at) { return damaged[at] | damaged[at + 1] << 8 | damaged[at + 2] << 16 | damaged[at + 3] << 24; };
    const size_t root = static_cast<size_t>(u32(12)) + static_cast<size_t>(u32(20));
    damaged[root + 8] = 0xE8;
    damaged[root + 9] = 0x03;
    qx::ApplyArchiveXor(damaged.data(), damaged.size(), 0, key);
    qxtest::WriteBytes("damaged.ptk", damaged);
  }
  qxtest::WriteBytes("case/A.txt", qxtest::Bytes("1"));
  qxtest::WriteBytes("case/a.txt", qxtest::Bytes("2"));
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"list", "res.ptk", "--key", "WrongKey"}, 1, "key is wrong"},
      {{"list", "res.ptk"}, 1, "key is wrong"},
      {{"extract", "res.ptk", "x", "--key", "WrongKey"}, 1, "key is wrong"},
      {{"list", "short.ptk", "--key", kKey}, 1, "truncated"},
      {{"list", "plain.txt"}, 1, "not an archive"},
      {{"list", "damaged.ptk", "--key", kKey}, 1, "damaged archive"},
      {{"extract", "damaged.ptk", "y", "--key", kKey}, 1, "damaged archive"},
      {{"list", "missing.ptk"}, 1, "missing.ptk"},
      {{"pack", "missing", "m.ptk"}, 1, "missing"},
      {{"pack", "plain.txt", "m.ptk"}, 1, "not a directory"},
      {{"pack", "case", "case.ptk"}, 1, "letter case"},
      {{"pack", "res", "no/such/dir/r.ptk"}, 1, "cannot write"},
      {{"extract", "res.ptk", "plain.txt/sub", "--key", kKey}, 1, "cannot create"},
      {{"unpack", "res.ptk"}, 2, "usage"},
      {{"list", "res.ptk", "--bogus"}, 2, "unknown option"},
      {{"list"}, 2, "usage"},
  };
  for (const Case& c : cases) {
    ToolRun r = Tool(c.args);
    std::string shown = c.args[0] + " " + c.args.back();
    EXPECT_EQ(c.status, r.status) << shown << "\n" << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << shown << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists("x"));
  EXPECT_FALSE(fs::exists("case.ptk"));
}

// An archive whose stored name (as listed) is replaced; the lookup form stays.
std::vector<uint8_t> ArchiveWithName(const std::string& placeholder, const std::string& name) {
  std::vector<uint8_t> a = qxtest::BuildArchive(
      {qxtest::DirEntry(placeholder, {qxtest::FileEntry("evil.txt", qxtest::Bytes("escaped"))})}, kKey);
  uint8_t key[qx::kRpkKeySize];
  qx::DeriveArchiveKey(kKey, key);
  qx::ApplyArchiveXor(a.data(), a.size(), 0, key);
  std::string text(a.begin(), a.end());
  size_t at = text.rfind(placeholder + '\0');
  if (at == std::string::npos) abort();
  std::copy(name.begin(), name.end(), a.begin() + static_cast<long>(at));
  qx::ApplyArchiveXor(a.data(), a.size(), 0, key);
  return a;
}

TEST(ArchiveTool, ExtractNeverWritesOutsideTheTarget) {
  qxtest::ScratchDir dir;
  fs::create_directories("outside");
  fs::create_directories("target");
  fs::create_symlink(fs::absolute("outside"), "target/link");
  struct Case {
    const char* what;
    std::vector<uint8_t> archive;
  };
  const Case cases[] = {
      {"parent name", ArchiveWithName("QQ", "..")},
      {"name with a separator", ArchiveWithName("QQQQQQQQQQQ", "../outside")},
      {"symbolic link in the target", ArchiveWithName("QQQQ", "link")},
  };
  for (const Case& c : cases) {
    qxtest::WriteBytes("evil.ptk", c.archive);
    ToolRun r = Tool({"extract", "evil.ptk", "target", "--key", kKey});
    EXPECT_EQ(1, r.status) << c.what;
    EXPECT_FALSE(r.err.empty()) << c.what;
    EXPECT_FALSE(fs::exists("evil.txt")) << c.what;
    EXPECT_FALSE(fs::exists("outside/evil.txt")) << c.what;
  }
}

}  // namespace
