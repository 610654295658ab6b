// Opening archives and finding entries in them.
#include <gtest/gtest.h>
#include <string.h>

#include "runtime/file/rpk.h"
#include "tests/file/file_test_support.h"

namespace {

using qxtest::DirEntry;
using qxtest::FileEntry;

const char kKey[] = "QxStone8";

std::vector<qx::RpkWriterEntry> SampleTree() {
  return {
      FileEntry("AD", qxtest::Bytes("first")),
      FileEntry("BC", qxtest::Bytes("second")),
      FileEntry("\x83\x61.txt", qxtest::Bytes("katakana")),
      DirEntry("Img", {DirEntry("Game", {FileEntry("Intro.png", qxtest::Counting(300))}),
                       FileEntry("NO", qxtest::Bytes("a file, not a directory"))}),
  };
}

class ArchiveOpen : public ::testing::Test {
 protected:
  qxtest::ScratchDir dir_;
  qx::RpkArchive archive_{};
  bool open_ = false;

  void Open(const std::vector<uint8_t>& bytes, const char* key) {
    qxtest::WriteBytes("a.ptk", bytes);
    ASSERT_EQ(0, qx::RpkOpen(&archive_, "a.ptk", key));
    open_ = true;
  }
  std::string Contents(const char* path) {
    qx::RpkFileHeader h;
    if (qx::RpkFindFile(&archive_, path, &h) != 0) return "<missing>";
    std::vector<uint8_t> data(h.dataSize);
    if (qx::RpkIsCompressed(&archive_, h)) {
      if (qx::RpkLoadCompressed(&archive_, h, data.data()) != 0) return "<damaged>";
    } else if (qx::RpkReadAt(&archive_, uint64_t{archive_.header.dataOffset} + h.dataAddress, data.data(),
                             data.size()) != 0) {
      return "<damaged>";
    }
    return std::string(data.begin(), data.end());
  }
  void TearDown() override {
    if (open_) qx::RpkClose(&archive_);
  }
};

TEST_F(ArchiveOpen, FindsEntriesByPathInEveryVersion) {
  for (uint16_t version : {0, 1, 2, 3}) {
    SCOPED_TRACE(version);
    std::vector<uint8_t> bytes = qxtest::BuildArchive(SampleTree(), kKey, version);
    Open(bytes, kKey);
    EXPECT_EQ(version >= 2 ? 44u : 40u, archive_.entrySize);
    EXPECT_EQ("first", Contents("AD"));
    EXPECT_EQ("second", Contents("BC"));
    std::vector<uint8_t> counting = qxtest::Counting(300);
    EXPECT_EQ(std::string(counting.begin(), counting.end()), Contents("IMG\\GAME\\INTRO.PNG"));
    EXPECT_EQ(std::string(counting.begin(), counting.end()), Contents("\\Img\\game\\intro.PNG"));
    EXPECT_EQ("katakana", Contents("\x83\x61.TXT"));
    qx::RpkClose(&archive_);
    open_ = false;
  }
}

TEST_F(ArchiveOpen, VersionOneArchivesHaveNoCompressedFiles) {
  Open(qxtest::BuildArchive({FileEntry("Z", std::vector<uint8_t>(4000, 'z'))}, kKey, 1), kKey);
  qx::RpkFileHeader h;
  ASSERT_EQ(0, qx::RpkFindFile(&archive_, "Z", &h));
  EXPECT_FALSE(qx::RpkIsCompressed(&archive_, h));
  EXPECT_EQ(std::string(4000, 'z'), Contents("Z"));
}

TEST_F(ArchiveOpen, LookupsThatMustFail) {
  Open(qxtest::BuildArchive(SampleTree(), kKey), kKey);
  const char* const missing[] = {
      "IMG",                   // a directory, not a file
      "IMG\\GAME",             // likewise, through a path
      "IMG\\GAME\\",           // a directory with a final separator
      "IMG\\NO\\X.PNG",        // NO is a file in IMG: the walk must not take it for the target
      "IMG\\MISSING\\INTRO.PNG",
      "\x83\x41.TXT",          // differs from 0x83 0x61 in its second byte only
      "INTRO.PNG",             // only in a subdirectory
      "",
  };
  for (const char* path : missing) {
    qx::RpkFileHeader h;
    EXPECT_EQ(-1, qx::RpkFindFile(&archive_, path, &h)) << path;
    EXPECT_EQ(0u, archive_.currentDirectory) << path;
  }
}

TEST_F(ArchiveOpen, ChangingDirectory) {
  Open(qxtest::BuildArchive(SampleTree(), kKey), kKey);
  EXPECT_EQ(-1, qx::RpkChangeDirectory(&archive_, "..", nullptr));
  ASSERT_EQ(0, qx::RpkChangeDirectory(&archive_, "IMG\\GAME", nullptr));
  const uint32_t game = archive_.currentDirectory;
  EXPECT_NE(0u, game);
  EXPECT_EQ(0, qx::RpkChangeDirectory(&archive_, ".", nullptr));
  EXPECT_EQ(game, archive_.currentDirectory);
  qx::RpkFileHeader h;
  EXPECT_EQ(0, qx::RpkFindFile(&archive_, "INTRO.PNG", &h));  // relative to the current directory
  EXPECT_EQ(0, qx::RpkChangeDirectory(&archive_, "..", nullptr));
  EXPECT_EQ(0, qx::RpkChangeDirectory(&archive_, "GAME", nullptr));
  EXPECT_EQ(game, archive_.currentDirectory);
  qx::RpkSearchName stopped;
  EXPECT_EQ(-1, qx::RpkChangeDirectory(&archive_, "\\IMG\\NOPE\\X", &stopped));
  EXPECT_EQ(0, memcmp(stopped.bytes, "NOPE\0", 5));
  EXPECT_EQ(0, qx::RpkChangeDirectory(&archive_, "\\", nullptr));
  EXPECT_EQ(0u, archive_.currentDirectory);
}

TEST_F(ArchiveOpen, SecondFixedKeyOpensUnderAnyKeyString) {
  std::vector<uint8_t> bytes = qxtest::BuildArchive(SampleTree(), kKey);
  uint8_t key[qx::kRpkKeySize];
  qx::DeriveArchiveKey(kKey, key);
  qx::ApplyArchiveXor(bytes.data(), bytes.size(), 0, key);
  qx::SecondArchiveKey(key);
  qx::ApplyArchiveXor(bytes.data(), bytes.size(), 0, key);
  Open(bytes, "SomethingElse");
  EXPECT_EQ("second", Contents("BC"));
}

// Re-obscures `bytes` after changing the plain header with `edit`.
std::vector<uint8_t> EditHeader(std::vector<uint8_t> bytes, void (*edit)(uint8_t* plain)) {
  uint8_t key[qx::kRpkKeySize];
  qx::DeriveArchiveKey(kKey, key);
  qx::ApplyArchiveXor(bytes.data(), qx::kRpkHeaderSize, 0, key);
  edit(bytes.data());
  qx::ApplyArchiveXor(bytes.data(), qx::kRpkHeaderSize, 0, key);
  return bytes;
}

TEST(ArchiveRefused, BadHeadersWrongKeysAndTruncation) {
  qxtest::ScratchDir dir;
  const std::vector<uint8_t> good = qxtest::BuildArchive(SampleTree(), kKey);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* key;
  };
  std::vector<Case> cases = {
      {"wrong key", good, "QxStone9"},
      {"no key string", good, nullptr},
      {"version 4", EditHeader(good, [](uint8_t* p) { p[2] = 4; }), kKey},
      {"bad magic", EditHeader(good, [](uint8_t* p) { p[0] = 'Q'; }), kKey},
      {"tables beyond the end", EditHeader(good, [](uint8_t* p) { p[7] = 0x40; }), kKey},
      {"no room for the root directory", EditHeader(good, [](uint8_t* p) { memcpy(p + 20, p + 4, 4); }), kKey},
      {"empty file", {}, kKey},
  };
  // Every truncation loses part of the tables, which sit at the end.
  for (size_t n = 0; n < good.size(); n += 7) {
    cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + n), kKey});
  }
  for (const Case& c : cases) {
    qxtest::WriteBytes("bad.ptk", c.bytes);
    qx::RpkArchive a{};
    EXPECT_EQ(-1, qx::RpkOpen(&a, "bad.ptk", c.key)) << c.what << " " << c.bytes.size();
  }
  qx::RpkArchive a{};
  EXPECT_EQ(-1, qx::RpkOpen(&a, "does-not-exist.ptk", kKey));
}

TEST(ArchiveDamage, CorruptedBytesNeverBreakTheReader) {
  // Every single-byte corruption either refuses the archive, fails a lookup
  // or a load, or reads something: never a crash or an overrun.
  qxtest::ScratchDir dir;
  const std::vector<uint8_t> good =
      qxtest::BuildArchive({FileEntry("T", qxtest::Bytes(std::string(200, 'q') + "tail")),
                            DirEntry("D", {FileEntry("U", qxtest::Counting(90))})},
                           kKey);
  int refused = 0;
  int loaded = 0;
  for (size_t at = 0; at < good.size(); ++at) {
    std::vector<uint8_t> bytes = good;
    bytes[at] ^= 0x5A;
    qxtest::WriteBytes("c.ptk", bytes);
    qx::RpkArchive a{};
    if (qx::RpkOpen(&a, "c.ptk", kKey) != 0) {
      ++refused;
      continue;
    }
    for (const char* path : {"T", "D\\U"}) {
      qx::RpkFileHeader h;
      if (qx::RpkFindFile(&a, path, &h) != 0 || !qx::RpkEntryDataValid(&a, h)) continue;
      std::vector<uint8_t> out(h.dataSize);
      if (qx::RpkIsCompressed(&a, h) ? qx::RpkLoadCompressed(&a, h, out.data()) == 0
                                     : qx::RpkReadAt(&a, uint64_t{a.header.dataOffset} + h.dataAddress, out.data(),
                                                     out.size()) == 0) {
        ++loaded;
      }
    }
    qx::RpkClose(&a);
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
}

}  // namespace
