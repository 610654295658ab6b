// Helpers for the picture tests: fixtures, a stream over bytes, pixel reads.
#ifndef QUARNEX_TESTS_GRAPHICS_IMAGE_TEST_UTIL_H
#define QUARNEX_TESTS_GRAPHICS_IMAGE_TEST_UTIL_H

#include <string.h>

#include <ctype.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/memimg.h"
#include "support/read_file.h"

namespace qxtest {

inline std::string FixturePath(const std::string& name) {
  return std::string(QUARNEX_SOURCE_DIR) + "/tests/fixtures/images/" + name;
}

inline std::vector<uint8_t> ReadFixture(const std::string& name) { return ReadWholeFile(FixturePath(name)); }

// A stream over a byte vector, reporting short reads honestly.
struct ByteStream {
  const std::vector<uint8_t>* bytes;
  size_t position;

  static int64_t Tell(void* h) { return static_cast<int64_t>(static_cast<ByteStream*>(h)->position); }
  static int Seek(void* h, int64_t offset, int origin) {
    ByteStream* s = static_cast<ByteStream*>(h);
    int64_t base = origin == 1 ? static_cast<int64_t>(s->position) : origin == 2 ? static_cast<int64_t>(s->bytes->size()) : 0;
    int64_t target = base + offset;
    if (target < 0) target = 0;
    if (target > static_cast<int64_t>(s->bytes->size())) target = static_cast<int64_t>(s->bytes->size());
    s->position = static_cast<size_t>(target);
    return 0;
  }
  static size_t Read(void* buffer, size_t size, size_t count, void* h) {
    ByteStream* s = static_cast<ByteStream*>(h);
    if (size == 0) return 0;
    size_t left = s->bytes->size() - s->position;
    if (count > left / size) count = left / size;
    if (count) memcpy(buffer, s->bytes->data() + s->position, count * size);
    s->position += count * size;
    return count;
  }
  static int Eof(void* h) {
    ByteStream* s = static_cast<ByteStream*>(h);
    return s->position >= s->bytes->size() ? -1 : 0;
  }
  static int Idle(void*) { return 1; }
  static int Close(void*) { return 0; }
  static const qx::StreamOps* Ops() {
    static const qx::StreamOps ops = {Tell, Seek, Read, Eof, Idle, Close};
    return &ops;
  }
};

// Runs one decoder (or DecodeImage) over bytes.
inline int DecodeBytes(const std::vector<uint8_t>& bytes, qx::GraphImage* out,
                       qx::ImageDecoder decoder = nullptr) {
  ByteStream stream{&bytes, 0};
  memset(out, 0, sizeof(*out));
  if (!decoder) return qx::DecodeImage(ByteStream::Ops(), &stream, out);
  return decoder(ByteStream::Ops(), &stream, out);
}

inline uint32_t RawValue(const qx::GraphImage& image, int x, int y) {
  const uint8_t* p = image.pixels + static_cast<size_t>(y) * image.pitch + static_cast<size_t>(x) * image.format.BytesPerPixel;
  uint32_t v = 0;
  for (int i = 0; i < image.format.BytesPerPixel; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

struct Rgba {
  int r, g, b, a;
};

// A decoded pixel as 8-bit channels through the picture's own layout.
inline Rgba PixelOf(const qx::GraphImage& image, int x, int y) {
  Rgba c{};
  qx::UnpackColor(&image.format, RawValue(image, x, y), &c.r, &c.g, &c.b, &c.a);
  return c;
}

// RAII owner for decoded pictures in tests.
struct OwnedImage {
  qx::GraphImage image{};
  ~OwnedImage() { qx::ReleaseGraphImage(&image); }
};

// One decoded fixture against the pixels ImageMagick (or the generator) gives.
struct DecodeCase {
  const char* file;
  qx::ImageDecoder decoder;
  int bytesPerPixel;  // the layout the decoder must choose
  int tolerance;      // per channel, for layouts narrower than 8 bits
  bool alpha;         // whether the layout carries alpha to compare
};

inline std::string CaseName(const testing::TestParamInfo<DecodeCase>& info) {
  std::string name = info.param.file;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

inline void ExpectDecodesLikeFixture(const DecodeCase& c) {
  std::vector<uint8_t> bytes = ReadFixture(c.file);
  std::vector<uint8_t> want = ReadFixture(std::string(c.file) + ".rgba");
  ASSERT_FALSE(bytes.empty()) << c.file;
  ASSERT_EQ(want.size(), 7u * 5u * 4u) << c.file;
  for (int pass = 0; pass < 2; ++pass) {
    // Both the decoder alone and the whole chain must read it.
    OwnedImage img;
    ASSERT_EQ(DecodeBytes(bytes, &img.image, pass == 0 ? c.decoder : nullptr), 0) << c.file;
    ASSERT_EQ(img.image.width, 7);
    ASSERT_EQ(img.image.height, 5);
    ASSERT_EQ(img.image.format.BytesPerPixel, c.bytesPerPixel) << c.file;
    ASSERT_GE(img.image.pitch, 7 * c.bytesPerPixel);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        Rgba got = PixelOf(img.image, x, y);
        const uint8_t* w = &want[(y * 7 + x) * 4];
        EXPECT_NEAR(got.r, w[0], c.tolerance) << c.file << " red at " << x << "," << y;
        EXPECT_NEAR(got.g, w[1], c.tolerance) << c.file << " green at " << x << "," << y;
        EXPECT_NEAR(got.b, w[2], c.tolerance) << c.file << " blue at " << x << "," << y;
        if (c.alpha) {
          EXPECT_NEAR(got.a, w[3], c.tolerance) << c.file << " alpha at " << x << "," << y;
        }
      }
    if (::testing::Test::HasFailure()) return;
  }
}

// Every prefix of a file: the decoder refuses or yields a picture of the
// right size, and never reads or writes outside its buffers.
inline void ExpectPrefixesHandled(const char* file, qx::ImageDecoder decoder) {
  std::vector<uint8_t> bytes = ReadFixture(file);
  ASSERT_FALSE(bytes.empty()) << file;
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
    OwnedImage img;
    int result = DecodeBytes(cut, &img.image, decoder);
    if (result == 0) {
      EXPECT_EQ(img.image.width, 7) << file << " cut to " << n;
      EXPECT_EQ(img.image.height, 5) << file << " cut to " << n;
      EXPECT_NE(img.image.pixels, nullptr);
    } else {
      EXPECT_EQ(img.image.pixels, nullptr) << "a refusal leaves no pixels behind";
    }
  }
}

inline int DecodeRefuses(const std::vector<uint8_t>& bytes, qx::ImageDecoder decoder) {
  OwnedImage img;
  return DecodeBytes(bytes, &img.image, decoder) != 0;
}

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) {
    ADD_FAILURE() << "patch at " << at << " outside " << b.size() << " bytes";
    return;
  }
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 2) {
    ADD_FAILURE() << "patch at " << at << " outside " << b.size() << " bytes";
    return;
  }
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace qxtest

#endif
