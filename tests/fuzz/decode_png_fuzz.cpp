// The PNG decoder on arbitrary bytes, and its two paths against each other:
// where the runtime's own path for plain pictures takes a file, libpng must
// take it too and give the same picture; DecodePng must always give libpng's
// result. Each input also runs with every chunk checksum made right, so the
// mutations reach the image data instead of stopping at a checksum.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "runtime/graphics/decode_util.h"
#include "tests/fuzz/image_fuzz.h"
#include "tests/support/png_chunks.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Get32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Small pictures of every plain kind with every filter, compressed with a
// full window as big pictures are: the seeds that reach the fast path.
Bytes PlainSeed(int colourType, int channels) {
  const uint32_t width = 11, height = 10;
  Bytes raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(static_cast<uint8_t>(y % 5));
    for (uint32_t i = 0; i < width * channels; ++i) raw.push_back(static_cast<uint8_t>(y * 31 + i * 7 + (i % 3) * 50));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes compressed(size);
  compress2(compressed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6);
  compressed.resize(size);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  qxtest::PutBigEndian32(&ihdr, width);
  qxtest::PutBigEndian32(&ihdr, height);
  ihdr.insert(ihdr.end(), {8, static_cast<uint8_t>(colourType), 0, 0, 0});
  qxtest::PutPngChunk(&png, "IHDR", ihdr);
  const size_t half = compressed.size() / 2;
  qxtest::PutPngChunk(&png, "IDAT", Bytes(compressed.begin(), compressed.begin() + half));
  qxtest::PutPngChunk(&png, "IDAT", Bytes(compressed.begin() + half, compressed.end()));
  qxtest::PutPngChunk(&png, "IEND", {});
  return png;
}

// The same bytes with the checksum of every whole chunk made right.
Bytes WithChecksumsMended(const uint8_t* data, size_t size) {
  Bytes b(data, data + size);
  size_t pos = 8;
  while (size >= 8 && pos + 12 <= size) {
    const uint32_t length = Get32(&b[pos]);
    if (length > size - pos - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &b[pos + 4], length + 4));
    for (int i = 0; i < 4; ++i) b[pos + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    pos += 12 + length;
  }
  return b;
}

struct Result {
  int code;
  qx::GraphImage image;
};

void Decode(int (*decoder)(const qx::StreamOps*, void*, qx::GraphImage*), const Bytes& bytes, Result* out) {
  memset(&out->image, 0, sizeof(out->image));
  out->code = -1;
  qx::MemoryStream* stream = qx::OpenMemoryStream(bytes.data(), bytes.size());
  if (!stream) abort();
  out->code = decoder(&qx::MemoryStreamOps(), stream, &out->image);
  qx::MemoryStreamOps().Close(stream);
}

bool Same(const Result& a, const Result& b) {
  if (a.code != b.code) return false;
  if (a.code != 0) return true;
  const qx::GraphImage& x = a.image;
  const qx::GraphImage& y = b.image;
  if (x.width != y.width || x.height != y.height || x.pitch != y.pitch ||
      memcmp(&x.format, &y.format, sizeof(x.format)) != 0)
    return false;
  return memcmp(x.pixels, y.pixels, static_cast<size_t>(x.pitch) * x.height) == 0;
}

void CheckPaths(const Bytes& bytes) {
  Result viaLibpng, viaDecoder, fast;
  Decode(qx::DecodePngWithLibpng, bytes, &viaLibpng);
  Decode(qx::DecodePng, bytes, &viaDecoder);
  memset(&fast.image, 0, sizeof(fast.image));
  fast.code = qx::DecodePngInMemory(bytes.data(), bytes.size(), &fast.image);
  if (!Same(viaLibpng, viaDecoder)) {
    fprintf(stderr, "DecodePng and libpng differ\n");
    abort();
  }
  if (fast.code == 0 && !Same(viaLibpng, fast)) {
    fprintf(stderr, "the fast path took a picture libpng %s\n", viaLibpng.code == 0 ? "decodes otherwise" : "refuses");
    abort();
  }
  qx::ReleaseGraphImage(&viaLibpng.image);
  qx::ReleaseGraphImage(&viaDecoder.image);
  qx::ReleaseGraphImage(&fast.image);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) {
    qxfuzz::WritePictureSeeds(seeds, "png");
    const struct {
      const char* name;
      int colourType, channels;
    } plain[] = {{"plain_grey.png", 0, 1}, {"plain_grey_alpha.png", 4, 2}, {"plain_rgb.png", 2, 3},
                 {"plain_rgba.png", 6, 4}};
    for (const auto& p : plain) qxfuzz::WriteSeed(seeds, p.name, PlainSeed(p.colourType, p.channels));
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckPaths(Bytes(data, data + size));
  CheckPaths(WithChecksumsMended(data, size));
  return 0;
}
