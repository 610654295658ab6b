// ConvertImageRect stores exactly what the per-pixel rule gives, also where
// whole rows are copied or the layout has a fast path of its own.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <vector>

#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/memimg.h"

namespace {

struct Picture {
  std::vector<uint8_t> bytes;
  qx::GraphImage image{};
};

// Width x 2 pixels of pseudo-random bytes in the given layout.
void Fill(Picture& p, int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a, int width) {
  qx::BuildColorFormat(&p.image.format, bits, r, g, b, a);
  p.image.width = width;
  p.image.height = 2;
  p.image.pitch = width * bits / 8;
  p.bytes.resize(static_cast<size_t>(p.image.pitch) * 2);
  uint32_t seed = 12345;
  for (uint8_t& v : p.bytes) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<uint8_t>(seed >> 16);
  }
  p.image.pixels = p.bytes.data();
}

uint32_t SourceValue(const Picture& p, int x, int y) {
  const int bpp = p.image.format.BytesPerPixel;
  const uint8_t* s = p.bytes.data() + y * p.image.pitch + x * bpp;
  uint32_t v = 0;
  for (int i = 0; i < bpp; ++i) v |= static_cast<uint32_t>(s[i]) << (8 * i);
  return v;
}

TEST(ConvertImageRect, RowCopiesAndFastPathsMatchThePerPixelRule) {
  const ColorFormat* argb = qx::GetMemImageFormat(qx::kPixel32, 1, 0);
  const ColorFormat* xrgb = qx::GetMemImageFormat(qx::kPixel32, 0, 0);
  struct Case {
    const char* what;
    int bits;
    uint32_t r, g, b, a;
    const ColorFormat* dest;
    int transparentMode;
    int mirror;
    uint32_t (*expected)(uint32_t source);
  } cases[] = {
      {"argb into argb: unchanged", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, argb, 1, 0,
       [](uint32_t v) { return v; }},
      {"argb into argb, mirrored", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, argb, 1, 1,
       [](uint32_t v) { return v; }},
      {"rgb into xrgb: the unused byte set", 24, 0xFF0000, 0xFF00, 0xFF, 0, xrgb, 1, 0,
       [](uint32_t v) { return v | 0xFF000000u; }},
      {"rgb into xrgb, mirrored", 24, 0xFF0000, 0xFF00, 0xFF, 0, xrgb, 0, 1,
       [](uint32_t v) { return v | 0xFF000000u; }},
      // The source's top byte is not a channel: its stray bits must not survive.
      {"xrgb with stray bits into xrgb", 32, 0xFF0000, 0xFF00, 0xFF, 0, xrgb, 1, 0,
       [](uint32_t v) { return (v & 0xFFFFFFu) | 0xFF000000u; }},
      {"xrgb with stray bits into argb: opaque unless keyed", 32, 0xFF0000, 0xFF00, 0xFF, 0, argb, 1, 0,
       [](uint32_t v) { return (v & 0xFFFFFFu) | 0xFF000000u; }},
  };
  constexpr int kWidth = 37;  // not a multiple of any vector width
  for (const Case& c : cases) {
    Picture p;
    Fill(p, c.bits, c.r, c.g, c.b, c.a, kWidth);
    std::vector<uint32_t> dest(kWidth * 2, 0x5A5A5A5Au);
    const Rect all = {0, 0, kWidth, 2};
    // A key no random pixel has, so the keyed case only checks the opaque side.
    ASSERT_EQ(qx::ConvertImageRect(reinterpret_cast<uint8_t*>(dest.data()), kWidth * 4, c.dest, &p.image, nullptr, 0,
                                   0, &all, c.mirror, c.transparentMode, 0xFF123456u, 0, 0),
              0)
        << c.what;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int dx = c.mirror ? kWidth - 1 - x : x;
        const uint32_t v = SourceValue(p, x, y);
        if ((v & 0xFFFFFF) == 0x123456) continue;
        ASSERT_EQ(dest[y * kWidth + dx], c.expected(v)) << c.what << " at " << x << ", " << y;
      }
  }
}

}  // namespace
