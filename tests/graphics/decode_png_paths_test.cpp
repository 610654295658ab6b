// The PNG decoder's two paths: pictures in memory of the plain kinds are
// inflated and unfiltered by the runtime, everything else goes to libpng.
// Whatever path a picture takes, DecodePng must give what libpng gives.
#include <dirent.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "graphics/image_test_util.h"
#include "support/png_chunks.h"
#include "support/read_file.h"
#include "runtime/file/file.h"
#include "runtime/graphics/decode_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
  int result = -1;
  qxtest::OwnedImage image;
};

void DecodeWithLibpng(const Bytes& png, Decoded* out) {
  out->result = qxtest::DecodeBytes(png, &out->image.image, qx::DecodePngWithLibpng);
}

// DecodePng over a memory stream, as pictures from files and archives reach it.
void DecodeFromMemory(const Bytes& png, Decoded* out) {
  memset(&out->image.image, 0, sizeof(out->image.image));
  qx::MemoryStream* stream = qx::OpenMemoryStream(png.data(), png.size());
  ASSERT_NE(stream, nullptr);
  out->result = qx::DecodePng(&qx::MemoryStreamOps(), stream, &out->image.image);
  qx::MemoryStreamOps().Close(stream);
}

bool TakenByFastPath(const Bytes& png) {
  qxtest::OwnedImage image;
  memset(&image.image, 0, sizeof(image.image));
  return qx::DecodePngInMemory(png.data(), png.size(), &image.image) == 0;
}

// Same result, and on success the same size, layout and bytes.
void ExpectSame(const Decoded& a, const Decoded& b, const std::string& what) {
  ASSERT_EQ(a.result, b.result) << what;
  if (a.result != 0) return;
  const qx::GraphImage& x = a.image.image;
  const qx::GraphImage& y = b.image.image;
  ASSERT_EQ(x.width, y.width) << what;
  ASSERT_EQ(x.height, y.height) << what;
  ASSERT_EQ(x.pitch, y.pitch) << what;
  EXPECT_EQ(memcmp(&x.format, &y.format, sizeof(x.format)), 0) << what;
  for (int row = 0; row < x.height; ++row) {
    ASSERT_EQ(memcmp(x.pixels + static_cast<size_t>(row) * x.pitch, y.pixels + static_cast<size_t>(row) * y.pitch,
                     static_cast<size_t>(x.pitch)),
              0)
        << what << " row " << row;
  }
}

void ExpectBothPathsAgree(const Bytes& png, const std::string& what) {
  Decoded viaLibpng, viaMemory;
  DecodeWithLibpng(png, &viaLibpng);
  DecodeFromMemory(png, &viaMemory);
  ExpectSame(viaLibpng, viaMemory, what);
}

// ---- A small PNG writer, so every filter, layout and chunk split is made on purpose.

Bytes Deflate(const Bytes& raw, int windowBits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, raw.size()));
  z.next_in = const_cast<uint8_t*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct PngLayout {
  uint32_t width = 37, height = 9;
  int colourType = 6;
  int depth = 8;
  int filterBase = 0;  // row y uses filter (filterBase + y) % 5
  std::vector<int> filters;  // when given, row y uses filters[y % size] instead
  size_t idatSplit = 0;  // image data chunk size, 0 for one chunk
  int windowBits = 15;
  uint32_t seed = 1;
  Bytes before;  // whole chunks between the header and the image data
  Bytes after;   // whole chunks after the image data (the end chunk follows)
};

int Channels(int colourType) { return colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4; }

// Rows of random bytes, filtered with the layout's filters (the encoder's side
// of each filter), with runs of equal pixels so the predictors matter.
Bytes FilteredRows(const PngLayout& s) {
  const size_t bpp = static_cast<size_t>(Channels(s.colourType)) * (s.depth / 8);
  const size_t rowBytes = s.width * bpp;
  std::mt19937 random(s.seed);
  std::vector<Bytes> rows(s.height, Bytes(rowBytes));
  for (auto& row : rows)
    for (size_t i = 0; i < rowBytes; ++i)
      row[i] = (random() % 4 == 0 && i >= bpp) ? row[i - bpp] : static_cast<uint8_t>(random());
  Bytes out;
  const Bytes zeros(rowBytes, 0);
  for (uint32_t y = 0; y < s.height; ++y) {
    const Bytes& cur = rows[y];
    const Bytes& prev = y ? rows[y - 1] : zeros;
    const int filter = s.filters.empty() ? (s.filterBase + static_cast<int>(y)) % 5 : s.filters[y % s.filters.size()];
    out.push_back(static_cast<uint8_t>(filter));
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      int predictor = 0;
      if (filter == 1) predictor = a;
      if (filter == 2) predictor = b;
      if (filter == 3) predictor = (a + b) / 2;
      if (filter == 4) {
        const int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
        predictor = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
      }
      out.push_back(static_cast<uint8_t>(cur[i] - predictor));
    }
  }
  return out;
}

Bytes MakePng(const PngLayout& s, const Bytes& compressed) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  qxtest::PutBigEndian32(&ihdr, s.width);
  qxtest::PutBigEndian32(&ihdr, s.height);
  ihdr.insert(ihdr.end(), {static_cast<uint8_t>(s.depth), static_cast<uint8_t>(s.colourType), 0, 0, 0});
  qxtest::PutPngChunk(&png, "IHDR", ihdr);
  png.insert(png.end(), s.before.begin(), s.before.end());
  const size_t step = s.idatSplit ? s.idatSplit : compressed.size();
  for (size_t at = 0; at < compressed.size(); at += step) {
    const size_t n = std::min(step, compressed.size() - at);
    qxtest::PutPngChunk(&png, "IDAT", Bytes(compressed.begin() + at, compressed.begin() + at + n));
  }
  png.insert(png.end(), s.after.begin(), s.after.end());
  qxtest::PutPngChunk(&png, "IEND", {});
  return png;
}

Bytes MakePng(const PngLayout& s) { return MakePng(s, Deflate(FilteredRows(s), s.windowBits)); }

Bytes Chunk(const char* type, const Bytes& data) {
  Bytes b;
  qxtest::PutPngChunk(&b, type, data);
  return b;
}

TEST(PngPaths, PlainKindsTakeTheFastPathWithLibpngPixels) {
  struct Case {
    const char* what;
    PngLayout layout;
  };
  std::vector<Case> cases;
  for (int colourType : {0, 2, 4, 6})
    for (int filterBase = 0; filterBase < 5; ++filterBase) {
      PngLayout s;
      s.colourType = colourType;
      s.filterBase = filterBase;
      s.seed = static_cast<uint32_t>(colourType * 10 + filterBase);
      cases.push_back({"every filter in turn", s});
    }
  PngLayout oneWide;
  oneWide.width = 1;
  oneWide.height = 12;
  cases.push_back({"one pixel wide", oneWide});
  PngLayout oneRow;
  oneRow.width = 300;
  oneRow.height = 1;
  oneRow.filterBase = 4;
  cases.push_back({"one row", oneRow});
  PngLayout split;
  split.colourType = 2;
  split.width = 201;
  split.height = 40;
  split.idatSplit = 97;
  cases.push_back({"image data over many chunks", split});
  // Big pictures are unfiltered in two halves at once, from a row near the
  // middle that does not look up; without such a row, in one go.
  PngLayout halves;
  halves.width = 1024;
  halves.height = 520;
  halves.filterBase = 2;
  cases.push_back({"two halves", halves});
  PngLayout rgbHalves = halves;
  rgbHalves.colourType = 2;
  rgbHalves.height = 701;
  rgbHalves.filterBase = 0;
  cases.push_back({"two halves", rgbHalves});
  PngLayout noFreshRow = halves;
  noFreshRow.filters = {4, 2, 3};
  cases.push_back({"no row to start afresh from", noFreshRow});
  PngLayout freshAtTheEnd = halves;
  freshAtTheEnd.height = 20;
  freshAtTheEnd.width = 30000;
  freshAtTheEnd.filters = std::vector<int>(20, 4);
  freshAtTheEnd.filters[3] = 1;  // the search looks at rows 5 to 15
  cases.push_back({"the only fresh row far from the middle", freshAtTheEnd});
  PngLayout ancillary;
  ancillary.before = Chunk("gAMA", {0, 0, 0xB1, 0x8F});
  ancillary.after = Chunk("tEXt", {'a', 0, 'b'});
  cases.push_back({"ancillary chunks around the image data", ancillary});

  for (const Case& c : cases) {
    const Bytes png = MakePng(c.layout);
    const std::string what = std::string(c.what) + " colour type " + std::to_string(c.layout.colourType) +
                             " filters from " + std::to_string(c.layout.filterBase);
    EXPECT_TRUE(TakenByFastPath(png)) << what;
    ExpectBothPathsAgree(png, what);
  }
}

// Files the fast path leaves to libpng: DecodePng must then give libpng's
// result, success or failure, on the same bytes.
TEST(PngPaths, EverythingElseGivesLibpngsResult) {
  PngLayout plain;
  const Bytes good = MakePng(plain);
  auto damaged = [&](size_t at, uint8_t x) {
    Bytes b = good;
    b[at] ^= x;
    return b;
  };
  // Offsets inside the file made from `plain`: signature 8, header chunk 25.
  const size_t idat = 8 + 25;
  PngLayout small = plain;
  small.windowBits = 9;
  PngLayout sixteen = plain;
  sixteen.depth = 16;
  PngLayout transparency = plain;
  transparency.colourType = 2;
  transparency.before = Chunk("tRNS", {0, 1, 0, 2, 0, 3});
  PngLayout badAncillary = plain;
  badAncillary.before = Chunk("gAMA", {0, 0, 0xB1, 0x8F});
  badAncillary.before.back() ^= 1;
  PngLayout unknownCritical = plain;
  unknownCritical.before = Chunk("QUUX", {1, 2, 3});
  PngLayout badName = plain;
  badName.before = Chunk("q1ux", {1, 2, 3});
  PngLayout badFilter = plain;
  Bytes rows = FilteredRows(badFilter);
  rows[0] = 5;
  const Bytes badFilterPng = MakePng(badFilter, Deflate(rows, 15));
  Bytes shortRows = FilteredRows(plain);
  shortRows.pop_back();
  const Bytes shortPng = MakePng(plain, Deflate(shortRows, 15));
  Bytes longRows = FilteredRows(plain);
  longRows.push_back(0);
  const Bytes longPng = MakePng(plain, Deflate(longRows, 15));
  Bytes badAdler = Deflate(FilteredRows(plain), 15);
  badAdler.back() ^= 1;
  const Bytes badAdlerPng = MakePng(plain, badAdler);
  Bytes trailing = Deflate(FilteredRows(plain), 15);
  trailing.insert(trailing.end(), {1, 2, 3});
  const Bytes trailingPng = MakePng(plain, trailing);
  Bytes noEnd = good;
  noEnd.resize(noEnd.size() - 12);

  struct {
    const char* what;
    Bytes png;
    bool fastPathTakesIt;
  } cases[] = {
      {"no end chunk (libpng never reads it)", noEnd, true},
      {"small compression window", MakePng(small), false},
      {"16 bits per channel", MakePng(sixteen), false},
      {"transparency chunk", MakePng(transparency), false},
      {"ancillary chunk with a bad checksum", MakePng(badAncillary), false},
      {"unknown critical chunk", MakePng(unknownCritical), false},
      {"chunk name that is not letters", MakePng(badName), false},
      {"image data checksum", damaged(idat + 10, 0x40), false},
      {"header checksum", damaged(8 + 21, 1), false},
      {"unknown filter", badFilterPng, false},
      {"image data one byte short", shortPng, false},
      {"image data one byte long", longPng, false},
      {"bad Adler-32", badAdlerPng, false},
      {"bytes after the compressed stream", trailingPng, false},
      {"truncated in the image data", Bytes(good.begin(), good.begin() + idat + 30), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TakenByFastPath(c.png), c.fastPathTakesIt) << c.what;
    ExpectBothPathsAgree(c.png, c.what);
  }
}

// Sorted names of the files in `dir` ending in ".png" (not recursing).
std::vector<std::string> PngFiles(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) names.push_back(dir + "/" + name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PngPaths, EveryFixtureDecodesAsWithLibpng) {
  const std::vector<std::string> files = PngFiles(std::string(QUARNEX_SOURCE_DIR) + "/tests/fixtures/images");
  ASSERT_FALSE(files.empty());
  for (const std::string& path : files) ExpectBothPathsAgree(qxtest::ReadWholeFile(path), path);
}

// True when the first image data chunk declares a 32 KiB window: libpng
// writes a smaller one for small pictures, and those are left to libpng.
bool FullWindow(const Bytes& png) {
  for (size_t at = 8; at + 10 <= png.size();) {
    const uint32_t length = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (memcmp(&png[at + 4], "IDAT", 4) == 0) return (png[at + 8] >> 4) == 7;
    at += 12 + static_cast<size_t>(length);
  }
  return false;
}

// The game's generated pictures are all plain 8-bit colour: every one with a
// full window must take the fast path, and all give libpng's pixels.
TEST(PngPaths, GamePicturesTakeTheFastPathWithLibpngPixels) {
  const std::string res = std::string(QUARNEX_BINARY_DIR) + "/run-res/res/img";
  std::vector<std::string> files = PngFiles(res + "/game");
  const std::vector<std::string> common = PngFiles(res + "/common");
  files.insert(files.end(), common.begin(), common.end());
  ASSERT_FALSE(files.empty()) << "no generated pictures under " << res;
  for (const std::string& path : files) {
    const Bytes png = qxtest::ReadWholeFile(path);
    EXPECT_EQ(TakenByFastPath(png), FullWindow(png)) << path;
    ExpectBothPathsAgree(png, path);
  }
  // The big strips and layers are among those taken.
  for (const char* name : {"stone0.png", "efc2.png", "bg1.png", "bg4.png"})
    EXPECT_TRUE(TakenByFastPath(qxtest::ReadWholeFile(res + "/game/" + name))) << name;
}

}  // namespace
