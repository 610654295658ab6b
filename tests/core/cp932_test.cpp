// The runtime's own code page 932 table against the C library's converter,
// and the text conversion's edge cases.
#include <gtest/gtest.h>
#include <iconv.h>
#include <string.h>

#include <string>

#include "runtime/core/cp932.h"

namespace {

// The C library's answer for one sequence: its code point, or 0 when it is not a whole character.
uint32_t SystemDecode(const unsigned char* bytes, size_t n, iconv_t cd) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(bytes[0]), static_cast<char>(n > 1 ? bytes[1] : 0)};
  char* ip = in;
  size_t inLeft = n;
  unsigned char out[8];
  char* op = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 4)
    return 0;
  return out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
}

TEST(Cp932, EverySequenceDecodesAsTheSystemConverterDoes) {
  iconv_t cd = iconv_open("UTF-32LE", "CP932");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "the C library has no CP932";
  int mismatches = 0;
  for (int b = 0; b < 256; ++b) {
    const unsigned char one[1] = {static_cast<unsigned char>(b)};
    int used = 0;
    const uint32_t single = qx::Cp932Decode(one, 1, &used);
    const uint32_t want = b == 0 ? 0 : SystemDecode(one, 1, cd);
    if (used == 1 && single != want && mismatches++ < 10) ADD_FAILURE() << std::hex << "byte " << b;
    for (int t = 0; t < 256 && b >= 0x80; ++t) {
      const unsigned char two[2] = {static_cast<unsigned char>(b), static_cast<unsigned char>(t)};
      const uint32_t got = qx::Cp932Decode(two, 2, &used);
      // A single byte that is a character on its own is taken alone.
      const uint32_t expect = SystemDecode(one, 1, cd) ? SystemDecode(one, 1, cd) : SystemDecode(two, 2, cd);
      const int expectUsed = SystemDecode(one, 1, cd) || expect == 0 ? 1 : 2;
      if ((got != expect || used != expectUsed) && mismatches++ < 10)
        ADD_FAILURE() << std::hex << "bytes " << b << " " << t << ": " << got << " want " << expect;
    }
  }
  iconv_close(cd);
  EXPECT_EQ(mismatches, 0);
}

struct Utf8Case {
  const char* name;
  std::string text;
  size_t outSize;
  char replacement;
  std::string want;
};

TEST(Cp932, ToUtf8) {
  const Utf8Case cases[] = {
      {"ascii", "abc", 16, '?', "abc"},
      {"kanji and kana", "\x8a\xd6\x90\x94 \xb1", 32, '?', "\xe9\x96\xa2\xe6\x95\xb0 \xef\xbd\xb1"},
      {"wave dash of the code page", "\x81\x60", 8, '?', "\xef\xbd\x9e"},
      {"NEC and IBM rows", "\x87\x40\xfa\x40", 16, '?', "\xe2\x91\xa0\xe2\x85\xb0"},
      {"unknown byte replaced, next one kept", "a\x80" "b", 8, '?', "a?b"},
      {"lead byte at the end", "a\x82", 8, '?', "a?"},
      {"lead byte with a bad trail: the trail is read again", "\x82\x20z", 8, '?', "? z"},
      {"without a replacement the text ends there", "ab\xa0" "cd", 8, 0, "ab"},
      {"a character that does not fit is left out whole", "a\x82\xa0", 4, '?', "a"},
      {"exactly full", "a\x82\xa0", 5, '?', "a\xe3\x81\x82"},
  };
  for (const Utf8Case& c : cases) {
    char out[64];
    memset(out, 'X', sizeof out);
    const size_t n = qx::Cp932ToUtf8(c.text.c_str(), out, c.outSize, c.replacement);
    EXPECT_EQ(std::string(out), c.want) << c.name;
    EXPECT_EQ(n, c.want.size()) << c.name;
  }
}

}  // namespace
