// The file table: archives standing in for directories, loose files, the
// read, seek and end-of-file rules, handles and reference counts.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/file/path.h"
#include "tests/file/file_test_support.h"

namespace {

using qxtest::DirEntry;
using qxtest::FileEntry;

const char kKey[] = "QxStone8";

class FileLayer : public ::testing::Test {
 protected:
  qxtest::ScratchDir dir_;

  void SetUp() override {
    qx::InitFileLayer();
    qx::SetArchiveExtension("ptk");
    qx::SetArchiveKeyString(kKey);
  }
  void TearDown() override {
    EXPECT_EQ(0, qx::OpenFileCount());
    qx::CloseUnusedArchives();
    EXPECT_EQ(0, qx::OpenArchiveCount());
  }

  // Reads the whole file through the table; "<no file>" when it does not open.
  std::string Slurp(const char* path) {
    qx::FileHandle h = qx::FileOpen(path, 0, 1, 0);
    if (h == 0) return "<no file>";
    std::string text;
    char buffer[7];
    size_t n;
    while ((n = qx::FileRead(buffer, 1, sizeof(buffer), h)) > 0) text.append(buffer, n);
    qx::FileClose(h);
    return text;
  }
};

TEST_F(FileLayer, ArchiveStandsInForItsDirectory) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive(
                                    {DirEntry("img", {DirEntry("game", {FileEntry("intro.png", qxtest::Bytes("from archive"))})})},
                                    kKey));
  EXPECT_EQ("from archive", Slurp("./res/img/game/intro.png"));
  EXPECT_EQ("from archive", Slurp("./RES/IMG/GAME/INTRO.PNG"));
  EXPECT_EQ("from archive", Slurp((dir_.path() + "/res/img/game/intro.png").c_str()));
}

TEST_F(FileLayer, ArchiveIsFoundBeforeTheLooseFileAndMissingEntriesAreNotTakenFromDisk) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive(
                                    {DirEntry("se", {FileEntry("a.wav", qxtest::Bytes("archived a"))})}, kKey));
  qxtest::WriteBytes("res/se/a.wav", qxtest::Bytes("loose a"));
  qxtest::WriteBytes("res/se/x.wav", qxtest::Bytes("loose x"));
  EXPECT_EQ("archived a", Slurp("./res/se/a.wav"));
  EXPECT_EQ(0u, qx::FileOpen("./res/se/x.wav", 0, 1, 0));
  // The failed open gave back the reference it took.
  EXPECT_EQ(0, qx::ArchiveReferenceCount("res.ptk"));
}

TEST_F(FileLayer, WithoutAnArchiveTheLooseFileIsOpenedWhateverTheLetterCase) {
  qxtest::WriteBytes("Res/Img/Game/Intro.png", qxtest::Bytes("loose"));
  EXPECT_EQ("loose", Slurp("./res/img/game/intro.png"));
  EXPECT_EQ("loose", Slurp("./RES/IMG/GAME/INTRO.PNG"));
  EXPECT_EQ("loose", Slurp("Res\\Img\\Game\\Intro.png"));
  EXPECT_EQ("<no file>", Slurp("./res/img/game/outro.png"));
  // A file whose name holds a double-byte character with a "\\" byte.
  qxtest::WriteBytes("res/\x83\x5C.txt", qxtest::Bytes("so"));
  EXPECT_EQ("so", Slurp("./res/\x83\x5C.TXT"));
  // A directory named in UTF-8, as a Linux user's folders may be.
  qxtest::WriteBytes("\xE3\x81\x82/f.txt", qxtest::Bytes("utf-8"));
  EXPECT_EQ("utf-8", Slurp("./\xE3\x81\x82/F.TXT"));
}

TEST_F(FileLayer, WrongKeyOrDamagedArchiveFallsBackToTheLooseFile) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive({FileEntry("a.txt", qxtest::Bytes("archived"))}, "OtherKey"));
  qxtest::WriteBytes("res/a.txt", qxtest::Bytes("loose"));
  EXPECT_EQ("loose", Slurp("./res/a.txt"));
  qx::SetArchiveKeyString("OtherKey");
  EXPECT_EQ("archived", Slurp("./res/a.txt"));
}

TEST_F(FileLayer, KeyStringIsCutToTwelveCharacters) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive({FileEntry("a.txt", qxtest::Bytes("archived"))}, "ABCDEFGHIJKL"));
  qx::SetArchiveKeyString("ABCDEFGHIJKLMNOP");
  EXPECT_EQ("archived", Slurp("./res/a.txt"));
}

TEST_F(FileLayer, ArchiveExtensionSetting) {
  struct Case {
    const char* extension;
    const char* archiveName;
  };
  const std::string tooLong(64, 'x');
  const Case cases[] = {
      {"ptk", "res.ptk"}, {"DAT", "res.dat"}, {nullptr, "res.RPK"}, {"", "res.rpk"}, {tooLong.c_str(), "res.rpk"},
  };
  for (const Case& c : cases) {
    qxtest::WriteBytes(c.archiveName, qxtest::BuildArchive({FileEntry("a.txt", qxtest::Bytes("in archive"))}, kKey));
    qx::SetArchiveExtension(c.extension);
    EXPECT_EQ("in archive", Slurp("./res/a.txt")) << c.archiveName;
    qx::CloseUnusedArchives();
    std::filesystem::remove(c.archiveName);
  }
}

TEST_F(FileLayer, SettingsChangeOnlyArchivesOpenedAfterwards) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive(
                                    {DirEntry("img", {FileEntry("a.png", qxtest::Bytes("a")), FileEntry("b.png", qxtest::Bytes("b"))})},
                                    kKey));
  qxtest::WriteBytes("data.dat", qxtest::BuildArchive({FileEntry("c.txt", qxtest::Bytes("c"))}, "NewKey"));
  EXPECT_EQ("a", Slurp("./res/img/a.png"));
  qx::SetArchiveExtension("dat");
  qx::SetArchiveKeyString("NewKey");
  // The open archive keeps its files: no res/ exists on disk.
  EXPECT_EQ("b", Slurp("./res/img/b.png"));
  EXPECT_EQ("a", Slurp("./res/img/a.png"));
  // A new archive is found with the new extension and read with the new key.
  EXPECT_EQ("c", Slurp("./data/c.txt"));
  EXPECT_EQ("b", Slurp("./res/img/b.png"));
}

TEST_F(FileLayer, AnEmptyPathComponentMeansNoArchive) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive({DirEntry("img", {FileEntry("a.png", qxtest::Bytes("archived"))})}, kKey));
  qxtest::WriteBytes("res/img/a.png", qxtest::Bytes("loose"));
  EXPECT_EQ("loose", Slurp("./res//img/a.png"));
  EXPECT_EQ("loose", Slurp("./res/img\\\\a.png"));
  EXPECT_EQ("archived", Slurp("./res/img/a.png"));
  // Remembering the archive changes nothing for such a path.
  EXPECT_EQ("loose", Slurp("./res//img/a.png"));
  EXPECT_EQ("archived", Slurp(("//" + dir_.path() + "/res/img/a.png").c_str()));
}

TEST_F(FileLayer, FullPathForms) {
  char asWritten[qx::kFilePathMax];
  char upper[qx::kFilePathMax];
  // The current directory, upper-cased, with "\\" separators.
  std::string cwd = dir_.path();
  for (char& ch : cwd) ch = ch == '/' ? '\\' : static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  struct Case {
    const char* path;
    std::string expected;
  };
  const Case cases[] = {
      {"./a/../b.png", cwd + "\\B.PNG"},
      {"//srv/x.png", "\\SRV\\X.PNG"},
      {"/usr/Share/x.png", "\\USR\\SHARE\\X.PNG"},
      {"\\usr\\x.png", "\\USR\\X.PNG"},
      {"a//b/./c", cwd + "\\A\\B\\C"},
      {"/../../x", "\\X"},
      {"res/", cwd + "\\RES"},
      {"x/.", cwd + "\\X\\."},  // a final component is kept as written
      {"\x83\x61/\x83\x5C/z", cwd + "\\\x83\x61\\\x83\x5C\\Z"},
      // UTF-8 bytes that look like lead bytes do not swallow the "/" after them.
      {"/\xE3\x81\x82/x", "\\\xE3\x81\x82\\X"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(0, qx::MakeFullPath(c.path, asWritten, upper, sizeof(upper))) << c.path;
    EXPECT_EQ(c.expected, upper) << c.path;
    // The same path as written, "/"-separated.
    std::string written = asWritten;
    ASSERT_EQ(c.expected.size(), written.size()) << c.path;
    for (size_t i = 0; i < written.size(); ++i) {
      if (written[i] == '/') {
        EXPECT_EQ('\\', c.expected[i]) << c.path;
      }
    }
  }
  ASSERT_EQ(0, qx::MakeFullPath("Res/Img.png", asWritten, upper, sizeof(upper)));
  EXPECT_EQ(dir_.path() + "/Res/Img.png", asWritten);
  std::string tooLong(qx::kFilePathMax, 'a');
  EXPECT_EQ(-1, qx::MakeFullPath(tooLong.c_str(), asWritten, upper, sizeof(upper)));
}

// Three ways to hold the same 150 bytes.
enum Holder { kLoose, kStored, kCompressed };

class FileRules : public FileLayer, public ::testing::WithParamInterface<Holder> {
 protected:
  std::vector<uint8_t> data_ = qxtest::Counting(150);
  void SetUp() override {
    FileLayer::SetUp();
    std::vector<uint8_t> compressible(150, 'c');
    if (GetParam() == kLoose) {
      qxtest::WriteBytes("res/f.bin", data_);
    } else {
      if (GetParam() == kCompressed) data_ = compressible;
      qxtest::WriteBytes("res.ptk", qxtest::BuildArchive({FileEntry("f.bin", data_)}, kKey, 3, GetParam() == kCompressed));
    }
  }
};

TEST_P(FileRules, ReadCountsAndEndOfFile) {
  qx::FileHandle h = qx::FileOpen("./res/f.bin", 0, 1, 0);
  ASSERT_NE(0u, h);
  EXPECT_EQ(0xF0000000u, h & 0xF0000000u);
  std::vector<uint8_t> buffer(200);
  // Loose files count whole elements; files inside archives count bytes.
  const bool loose = GetParam() == kLoose;
  EXPECT_EQ(loose ? 1u : 100u, qx::FileRead(buffer.data(), 100, 1, h));
  EXPECT_EQ(std::vector<uint8_t>(data_.begin(), data_.begin() + 100), std::vector<uint8_t>(buffer.begin(), buffer.begin() + 100));
  EXPECT_EQ(100, qx::FileTell(h));
  // 50 bytes left: a second 100-byte element does not fit a loose file.
  EXPECT_EQ(loose ? 0u : 50u, qx::FileRead(buffer.data(), 100, 1, h));
  if (loose) {
    EXPECT_EQ(-1, qx::FileEof(h));
    EXPECT_EQ(0, qx::FileSeek(h, 100, 0));
    EXPECT_EQ(0, qx::FileEof(h));
    EXPECT_EQ(50u, qx::FileRead(buffer.data(), 1, 50, h));
  }
  EXPECT_EQ(std::vector<uint8_t>(data_.begin() + 100, data_.end()), std::vector<uint8_t>(buffer.begin(), buffer.begin() + 50));
  // At the end but no read has come back empty yet.
  EXPECT_EQ(150, qx::FileTell(h));
  EXPECT_EQ(0, qx::FileEof(h));
  EXPECT_EQ(0u, qx::FileRead(buffer.data(), 1, 1, h));
  EXPECT_EQ(-1, qx::FileEof(h));
  EXPECT_EQ(1, qx::FileIdleCheck(h));
  EXPECT_EQ(0, qx::FileClose(h));
}

TEST_P(FileRules, Seeking) {
  qx::FileHandle h = qx::FileOpen("./res/f.bin", 0, 1, 0);
  ASSERT_NE(0u, h);
  uint8_t b = 0;
  EXPECT_EQ(0, qx::FileSeek(h, -10, 2));
  EXPECT_EQ(140, qx::FileTell(h));
  EXPECT_EQ(0, qx::FileSeek(h, 5, 1));
  EXPECT_EQ(145, qx::FileTell(h));
  EXPECT_EQ(1u, qx::FileRead(&b, 1, 1, h));
  EXPECT_EQ(data_[145], b);
  EXPECT_EQ(0, qx::FileSeek(h, 3, 0));
  EXPECT_EQ(1u, qx::FileRead(&b, 1, 1, h));
  EXPECT_EQ(data_[3], b);
  EXPECT_EQ(-1, qx::FileSeek(h, 0, 7));
  if (GetParam() == kLoose) {
    // Loose files are not clamped, but never go before the start.
    EXPECT_EQ(0, qx::FileSeek(h, 500, 0));
    EXPECT_EQ(500, qx::FileTell(h));
    EXPECT_EQ(0u, qx::FileRead(&b, 1, 1, h));
    EXPECT_EQ(-1, qx::FileEof(h));
    EXPECT_EQ(-1, qx::FileSeek(h, -1, 0));
  } else {
    EXPECT_EQ(0, qx::FileSeek(h, 500, 0));
    EXPECT_EQ(150, qx::FileTell(h));
    EXPECT_EQ(0, qx::FileSeek(h, -500, 1));
    EXPECT_EQ(0, qx::FileTell(h));
  }
  EXPECT_EQ(0, qx::FileClose(h));
}

TEST_P(FileRules, FileStreamOpsReachTheSameFile) {
  qx::FileHandle h = qx::FileOpen("./res/f.bin", 0, 1, 0);
  ASSERT_NE(0u, h);
  const qx::StreamOps& ops = qx::FileStreamOps();
  void* s = qx::FileStreamHandle(h);
  std::vector<uint8_t> all(150);
  EXPECT_EQ(0, ops.Seek(s, 0, 0));
  EXPECT_EQ(150u, ops.Read(all.data(), 1, 150, s));
  EXPECT_EQ(data_, all);
  EXPECT_EQ(150, ops.Tell(s));
  EXPECT_EQ(1, ops.IdleCheck(s));
  EXPECT_EQ(0u, ops.Read(all.data(), 1, 1, s));
  EXPECT_EQ(-1, ops.Eof(s));
  EXPECT_EQ(0, ops.Close(s));
}

// Only a compressed file is held whole by the layer; the view is its bytes.
TEST_P(FileRules, ContentsInMemoryOnlyForCompressedFiles) {
  qx::FileHandle h = qx::FileOpen("./res/f.bin", 0, 1, 0);
  ASSERT_NE(0u, h);
  const uint8_t* data = nullptr;
  size_t size = 0;
  const bool held = qx::FileContentsInMemory(h, &data, &size);
  EXPECT_EQ(held, GetParam() == kCompressed);
  if (held) {
    EXPECT_EQ(data_, std::vector<uint8_t>(data, data + size));
  }
  EXPECT_EQ(0, qx::FileClose(h));
  EXPECT_FALSE(qx::FileContentsInMemory(h, &data, &size));
}

std::string HolderName(const ::testing::TestParamInfo<Holder>& info) {
  static const char* const kNames[] = {"Loose", "Stored", "Compressed"};
  return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Holders, FileRules, ::testing::Values(kLoose, kStored, kCompressed), HolderName);

TEST_F(FileLayer, ThreadedLooseFilesReadTheSame) {
  qxtest::WriteBytes("t.bin", qxtest::Counting(1000));
  for (int asyncFlag : {0, 1}) {
    qx::FileHandle h = qx::FileOpen("t.bin", 1, 0, asyncFlag);
    ASSERT_NE(0u, h);
    std::vector<uint8_t> buffer(1000);
    EXPECT_EQ(100u, qx::FileRead(buffer.data(), 10, 100, h));
    while (qx::FileIdleCheck(h) != 1) {
    }
    EXPECT_EQ(qxtest::Counting(1000), buffer);
    EXPECT_EQ(0, qx::FileClose(h));
  }
}

TEST_F(FileLayer, ReferenceCountsAndClosingUnusedArchives) {
  qxtest::WriteBytes("res.ptk", qxtest::BuildArchive({FileEntry("a", qxtest::Bytes("A")), FileEntry("b", qxtest::Bytes("B"))}, kKey));
  qxtest::WriteBytes("more.ptk", qxtest::BuildArchive({FileEntry("c", qxtest::Bytes("C"))}, kKey));
  qx::FileHandle a = qx::FileOpen("res/a", 0, 1, 0);
  qx::FileHandle b = qx::FileOpen("res/b", 0, 1, 0);
  qx::FileHandle c = qx::FileOpen("more/c", 0, 1, 0);
  ASSERT_NE(0u, a);
  ASSERT_NE(0u, b);
  ASSERT_NE(0u, c);
  EXPECT_NE(a, b);
  EXPECT_EQ(2, qx::ArchiveReferenceCount("res.ptk"));
  EXPECT_EQ(1, qx::ArchiveReferenceCount("./MORE.PTK"));
  EXPECT_EQ(2, qx::OpenArchiveCount());
  EXPECT_EQ(0u, qx::FileOpen("res/nothing", 0, 1, 0));
  EXPECT_EQ(2, qx::ArchiveReferenceCount("res.ptk"));
  EXPECT_EQ(0, qx::FileClose(a));
  EXPECT_EQ(-1, qx::FileClose(a));
  EXPECT_EQ(1, qx::ArchiveReferenceCount("res.ptk"));
  EXPECT_EQ(0, qx::FileClose(b));
  // Unused archives stay open until asked to close.
  EXPECT_EQ(0, qx::ArchiveReferenceCount("res.ptk"));
  EXPECT_EQ(2, qx::OpenArchiveCount());
  qx::CloseUnusedArchives();
  EXPECT_EQ(-1, qx::ArchiveReferenceCount("res.ptk"));
  EXPECT_EQ(1, qx::OpenArchiveCount());
  EXPECT_EQ(1, qx::ArchiveReferenceCount("more.ptk"));
  // The archive is opened anew after it was closed.
  EXPECT_EQ("A", Slurp("res/a"));
  EXPECT_EQ(0, qx::FileClose(c));
}

TEST_F(FileLayer, InvalidHandlesAreRefused) {
  uint8_t b;
  const qx::FileHandle handles[] = {0, 0xF0000000u, 0xF0000005u, 0xF0000200u, 0x00000001u};
  for (qx::FileHandle h : handles) {
    EXPECT_EQ(-1, qx::FileClose(h)) << h;
    EXPECT_EQ(-1, qx::FileTell(h)) << h;
    EXPECT_EQ(-1, qx::FileSeek(h, 0, 0)) << h;
    EXPECT_EQ(-1, qx::FileEof(h)) << h;
    EXPECT_EQ(-1, qx::FileIdleCheck(h)) << h;
    EXPECT_EQ(0u, qx::FileRead(&b, 1, 1, h)) << h;
  }
}

TEST_F(FileLayer, DamagedCompressedEntryFailsToOpen) {
  std::vector<uint8_t> bytes = qxtest::BuildArchive({FileEntry("z", std::vector<uint8_t>(5000, 'z'))}, kKey);
  // The first bytes after the header are the compressed block's token stream.
  bytes[24 + 9] ^= 0xFF;
  bytes[24 + 10] ^= 0xFF;
  bytes[24 + 11] ^= 0xFF;
  qxtest::WriteBytes("res.ptk", bytes);
  EXPECT_EQ(0u, qx::FileOpen("res/z", 0, 1, 0));
  EXPECT_EQ(0, qx::ArchiveReferenceCount("res.ptk"));
}

TEST(MemoryStreamOps, ReadsWholeElementsThenTheRest) {
  const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  qx::MemoryStream* m = qx::OpenMemoryStream(data, sizeof(data));
  ASSERT_NE(nullptr, m);
  const qx::StreamOps& ops = qx::MemoryStreamOps();
  uint8_t out[12] = {};
  EXPECT_EQ(2u, ops.Read(out, 4, 3, m));
  EXPECT_EQ(8, ops.Tell(m));
  uint8_t rest[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(1u, ops.Read(rest, 4, 3, m));
  EXPECT_EQ(8, rest[0]);
  EXPECT_EQ(9, rest[1]);
  EXPECT_EQ(0xAA, rest[2]);
  EXPECT_EQ(0, ops.Eof(m));
  EXPECT_EQ(0u, ops.Read(rest, 1, 1, m));
  EXPECT_EQ(-1, ops.Eof(m));
  EXPECT_EQ(0, ops.Seek(m, -3, 2));
  EXPECT_EQ(0, ops.Eof(m));
  EXPECT_EQ(7, ops.Tell(m));
  EXPECT_EQ(0, ops.Seek(m, 100, 1));
  EXPECT_EQ(10, ops.Tell(m));
  EXPECT_EQ(0, ops.Seek(m, -100, 0));
  EXPECT_EQ(0, ops.Tell(m));
  EXPECT_EQ(0u, ops.Read(out, 4, 0, m));
  EXPECT_EQ(0, ops.Tell(m));
  // Elements of size 0: the count, and nothing taken.
  EXPECT_EQ(5u, ops.Read(out, 0, 5, m));
  EXPECT_EQ(0, ops.Tell(m));
  EXPECT_EQ(0, ops.Eof(m));
  EXPECT_EQ(1, ops.IdleCheck(m));
  EXPECT_EQ(0, ops.Close(m));
}

}  // namespace

namespace {

TEST_F(FileLayer, FullArchiveTableClosesUnusedArchivesToMakeRoom) {
  const std::vector<uint8_t> archive = qxtest::BuildArchive({FileEntry("f", qxtest::Bytes("F"))}, kKey);
  for (int i = 0; i <= 512; ++i) qxtest::WriteBytes("a" + std::to_string(i) + ".ptk", archive);
  // 512 archives opened once each stay open unused.
  for (int i = 0; i < 512; ++i) ASSERT_EQ("F", Slurp(("a" + std::to_string(i) + "/f").c_str())) << i;
  EXPECT_EQ(512, qx::OpenArchiveCount());
  qx::FileHandle kept = qx::FileOpen("a0/f", 0, 1, 0);
  ASSERT_NE(0u, kept);
  // The 513th archive makes room by closing those no file uses.
  EXPECT_EQ("F", Slurp("a512/f"));
  EXPECT_EQ(2, qx::OpenArchiveCount());
  EXPECT_EQ(1, qx::ArchiveReferenceCount("a0.ptk"));
  EXPECT_EQ(-1, qx::ArchiveReferenceCount("a1.ptk"));
  EXPECT_EQ(0, qx::ArchiveReferenceCount("a512.ptk"));
  EXPECT_EQ(0, qx::FileClose(kept));
}

}  // namespace
