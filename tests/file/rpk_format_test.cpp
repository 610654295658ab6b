// Archive format: key, XOR layer, LZ blocks and name search forms.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "runtime/file/rpk.h"
#include "runtime/file/rpk_writer.h"
#include "tests/file/file_test_support.h"

namespace {

using Block = std::vector<uint8_t>;

std::vector<uint8_t> KeyOf(const char* keyString) {
  std::vector<uint8_t> k(qx::kRpkKeySize);
  qx::DeriveArchiveKey(keyString, k.data());
  return k;
}

TEST(ArchiveKey, FiveCharacterStringIsRepeatedThenTransformed) {
  // Pre-transform bytes A B C D E A B C D E A B, then each byte's rule; the
  // numbers also pin the format's fixed bytes, which archives depend on.
  const std::vector<uint8_t> expected = {0xBE, 0x24, 0x78, 0xBB, 0xBA, 0x87, 0xBD, 0x97, 0x22, 0xD4, 0x7A, 0x96};
  EXPECT_EQ(KeyOf("ABCDE"), expected);
  EXPECT_EQ(KeyOf("ABCDEABCDEAB"), expected);
}

TEST(ArchiveKey, LongStringsUseTheirFirstTwelveCharactersAndEmptyMeansNone) {
  EXPECT_EQ(KeyOf("QxStone8QxStone8"), KeyOf("QxStone8QxSt"));
  EXPECT_EQ(KeyOf(""), KeyOf(nullptr));
  EXPECT_NE(KeyOf("QxStone8"), KeyOf(nullptr));
}

TEST(ArchiveKey, XorPhaseFollowsTheAbsoluteOffset) {
  const std::vector<uint8_t> key = KeyOf("ABCDE");
  uint8_t bytes[5] = {};
  qx::ApplyArchiveXor(bytes, sizeof(bytes), 10, key.data());
  const uint8_t expected[5] = {key[10], key[11], key[0], key[1], key[2]};
  EXPECT_EQ(0, memcmp(bytes, expected, 5));
  // Applying it again at the same offset gives the bytes back.
  qx::ApplyArchiveXor(bytes, sizeof(bytes), 10, key.data());
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), std::vector<uint8_t>(5, 0));
}

// The word-wide XOR against the key applied a byte at a time, for every
// phase of the key and lengths around the word steps.
TEST(ArchiveKey, XorOfAnyLengthAndOffsetMatchesByteByByte) {
  const std::vector<uint8_t> key = KeyOf("QxStone8");
  const std::vector<uint8_t> data = qxtest::Noise(200, 5);
  for (uint64_t offset : {0ull, 1ull, 5ull, 11ull, 12ull, 23ull, 4000000007ull}) {
    for (size_t n : {0, 1, 11, 23, 24, 25, 47, 48, 49, 100, 200}) {
      std::vector<uint8_t> fast(data.begin(), data.begin() + n);
      qx::ApplyArchiveXor(fast.data(), n, offset, key.data());
      std::vector<uint8_t> slow(data.begin(), data.begin() + n);
      for (size_t i = 0; i < n; ++i) slow[i] ^= key[(offset + i) % qx::kRpkKeySize];
      EXPECT_EQ(fast, slow) << "offset " << offset << " length " << n;
    }
  }
}

// A block: decoded size, block size (computed), escape, tokens.
Block MakeBlock(uint32_t decodedSize, uint8_t escape, const std::vector<uint8_t>& tokens) {
  Block b;
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(decodedSize >> (8 * i)));
  uint32_t size = static_cast<uint32_t>(9 + tokens.size());
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
  b.push_back(escape);
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

int Decode(const Block& block, std::vector<uint8_t>* out) {
  out->assign(qx::RpkBlockDecodedSize(block.data(), block.size()), 0xEE);
  return qx::RpkDecodeBlock(block.data(), block.size(), out->data(), out->size());
}

struct DecodeCase {
  const char* what;
  Block block;
  std::vector<uint8_t> expected;
};

TEST(ArchiveBlock, DecodesValidTokens) {
  const std::vector<DecodeCase> cases = {
      {"literals only", MakeBlock(3, 0xFF, {'a', 'b', 'c'}), {'a', 'b', 'c'}},
      {"escape twice is one escape byte", MakeBlock(3, 0x20, {'a', 0x20, 0x20, 'b'}), {'a', 0x20, 'b'}},
      // Code 0x30: length (0x30 >> 3) + 4 = 10, one-byte distance field 0 -> distance 1.
      {"overlapping copy repeats the last byte", MakeBlock(11, 0xFF, {'x', 0xFF, 0x30, 0x00}), Block(11, 'x')},
      // With escape 0x10 the code 0x30 is written as 0x31 (codes at or above the escape move up by one).
      {"codes above the escape are shifted", MakeBlock(11, 0x10, {'x', 0x10, 0x31, 0x00}), Block(11, 'x')},
      // Code 0x04 | ext byte 3: length (0 | 3 << 5) + 4 = 100.
      {"extension byte lengthens the copy", MakeBlock(101, 0xFF, {'y', 0xFF, 0x04, 0x03, 0x00}), Block(101, 'y')},
      // Width 1: two-byte distance field 0x0002 -> distance 3.
      {"two-byte distance", MakeBlock(7, 0xFF, {'a', 'b', 'c', 0xFF, 0x01, 0x02, 0x00}),
       {'a', 'b', 'c', 'a', 'b', 'c', 'a'}},
      // Width 2: three-byte distance field 1 -> distance 2.
      {"three-byte distance", MakeBlock(6, 0xFF, {'p', 'q', 0xFF, 0x02, 0x01, 0x00, 0x00}),
       {'p', 'q', 'p', 'q', 'p', 'q'}},
      {"empty block", MakeBlock(0, 0x00, {}), {}},
  };
  for (const DecodeCase& c : cases) {
    std::vector<uint8_t> out;
    EXPECT_EQ(0, Decode(c.block, &out)) << c.what;
    EXPECT_EQ(c.expected, out) << c.what;
  }
}

TEST(ArchiveBlock, RefusesMalformedStreams) {
  const std::vector<DecodeCase> cases = {
      {"distance before the start", MakeBlock(5, 0xFF, {'a', 0xFF, 0x00, 0x01}), {}},
      {"copy at the very start", MakeBlock(4, 0xFF, {0xFF, 0x00, 0x00}), {}},
      {"length past the decoded size", MakeBlock(5, 0xFF, {'a', 0xFF, 0x08, 0x00}), {}},
      {"distance width code 3", MakeBlock(5, 0xFF, {'a', 0xFF, 0x03, 0x00, 0x00, 0x00, 0x00}), {}},
      {"ends after the escape", MakeBlock(2, 0xFF, {'a', 0xFF}), {}},
      {"ends before the extension byte", MakeBlock(40, 0xFF, {'a', 0xFF, 0x04}), {}},
      {"ends inside the distance", MakeBlock(9, 0xFF, {'a', 'b', 0xFF, 0x01, 0x00}), {}},
      {"stream ends early", MakeBlock(10, 0xFF, {'a', 'b'}), {}},
      {"more literals than the decoded size", MakeBlock(1, 0xFF, {'a', 'b'}), {}},
  };
  for (const DecodeCase& c : cases) {
    std::vector<uint8_t> out;
    EXPECT_EQ(-1, Decode(c.block, &out)) << c.what;
  }
  // A block size field beyond the bytes given, and a size that disagrees with the output.
  Block b = MakeBlock(3, 0xFF, {'a', 'b', 'c'});
  std::vector<uint8_t> out(3);
  EXPECT_EQ(-1, qx::RpkDecodeBlock(b.data(), b.size() - 1, out.data(), out.size()));
  EXPECT_EQ(-1, qx::RpkDecodeBlock(b.data(), b.size(), out.data(), 2));
}

TEST(ArchiveBlock, EncoderOutputDecodesToTheInput) {
  std::vector<uint8_t> far = qxtest::Noise(70000, 7);
  std::vector<uint8_t> farTwice = far;
  farTwice.insert(farTwice.end(), far.begin(), far.end());
  std::vector<uint8_t> everyByte;
  for (int r = 0; r < 40; ++r) {
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<uint8_t>(b));
  }
  std::string text;
  for (int i = 0; i < 500; ++i) text += "stone " + std::to_string(i % 17) + " breaks\n";
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    bool shrinks;
  };
  const std::vector<Case> cases = {
      {"empty", {}, false},
      {"one byte", {0x42}, false},
      {"long run beyond the longest copy", std::vector<uint8_t>(100000, 0), true},
      {"noise", qxtest::Noise(5000, 3), false},
      {"repeats beyond a two-byte distance", farTwice, true},
      {"every byte value, so the escape occurs", everyByte, true},
      {"text", qxtest::Bytes(text), true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> block = qx::EncodeRpkBlock(c.data.data(), c.data.size());
    std::vector<uint8_t> out(c.data.size());
    ASSERT_EQ(0, qx::RpkDecodeBlock(block.data(), block.size(), out.data(), out.size())) << c.what;
    EXPECT_EQ(c.data, out) << c.what;
    if (c.shrinks) {
      EXPECT_LT(block.size(), c.data.size() * 6 / 10) << c.what;
    }
  }
}

qx::RpkSearchName Search(const char* name) {
  qx::RpkSearchName s;
  EXPECT_GE(qx::MakeSearchName(name, strlen(name), &s), 0);
  return s;
}

bool SameForm(const qx::RpkSearchName& a, const qx::RpkSearchName& b) {
  return a.units == b.units && a.parity == b.parity && memcmp(a.bytes, b.bytes, a.units * 4u) == 0;
}

TEST(ArchiveNames, SearchFormUpperCasesLettersAndKeepsDoubleByteCharacters) {
  qx::RpkSearchName s = Search("ab.c");
  EXPECT_EQ(2, s.units);  // 4 bytes of name need a zero after them
  EXPECT_EQ(0, memcmp(s.bytes, "AB.C\0\0\0\0", 8));
  EXPECT_EQ('A' + 'B' + '.' + 'C', s.parity);
  EXPECT_TRUE(SameForm(Search("Intro.png"), Search("INTRO.PNG")));
  // 0x83 0x61 is one character whose second byte must not be upper-cased.
  EXPECT_FALSE(SameForm(Search("\x83\x61"), Search("\x83\x41")));
  // 0x83 0x5C holds a "\\" byte that is not a separator.
  EXPECT_EQ(3, qx::MakeSearchName("\x83\x5Cz\\next", 8, &s));
  EXPECT_EQ(0, memcmp(s.bytes, "\x83\x5CZ\0", 4));
  // Components longer than 1023 bytes have no search form.
  std::string longName(1024, 'a');
  EXPECT_EQ(-1, qx::MakeSearchName(longName.c_str(), longName.size(), &s));
}

TEST(ArchiveNames, EqualLengthAndByteSumAreToldApartByTheWords) {
  qx::RpkSearchName ad = Search("AD");
  qx::RpkSearchName bc = Search("BC");
  EXPECT_EQ(ad.units, bc.units);
  EXPECT_EQ(ad.parity, bc.parity);
  EXPECT_FALSE(SameForm(ad, bc));
}

}  // namespace
