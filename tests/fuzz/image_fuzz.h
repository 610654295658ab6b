// Shared by the picture decoder targets: one decoder on arbitrary bytes, and
// seeds from the pictures scripts/make-image-fixtures.sh writes at fuzz time
// (QUARNEX_FUZZ_PICTURES names their folder).
#ifndef QUARNEX_TESTS_FUZZ_IMAGE_FUZZ_H
#define QUARNEX_TESTS_FUZZ_IMAGE_FUZZ_H

#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "runtime/file/file.h"
#include "runtime/graphics/graph_image.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/read_file.h"

namespace qxfuzz {

// Copies the pictures whose names start with prefix (not their ".rgba"
// pixel dumps); an empty prefix takes every picture.
inline void WritePictureSeeds(const char* dir, const char* prefix) {
  const char* from = getenv("QUARNEX_FUZZ_PICTURES");
  if (!from) {
    fprintf(stderr, "QUARNEX_FUZZ_PICTURES is not set: no picture seeds\n");
    exit(1);
  }
  DIR* d = opendir(from);
  if (!d) {
    fprintf(stderr, "cannot open %s\n", from);
    exit(1);
  }
  const std::string start = prefix;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name[0] == '.' || name.compare(0, start.size(), start) != 0) continue;
    if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".rgba") == 0) continue;
    WriteSeed(dir, name, qxtest::ReadWholeFile(std::string(from) + "/" + name));
  }
  closedir(d);
}

// Runs one decoder (or the whole chain for null) over the bytes; a decoded
// picture has its first and last pixel read, so a wrong size or pitch shows.
inline void DecodeBytes(qx::ImageDecoder decoder, const uint8_t* data, size_t size) {
  qx::MemoryStream* stream = qx::OpenMemoryStream(data, size);
  if (!stream) return;
  qx::GraphImage image{};
  const int result = decoder ? decoder(&qx::MemoryStreamOps(), stream, &image)
                             : qx::DecodeImage(&qx::MemoryStreamOps(), stream, &image);
  if (result == 0) {
    volatile uint8_t sink = image.pixels[0];
    sink = image.pixels[static_cast<size_t>(image.height - 1) * image.pitch +
                        static_cast<size_t>(image.width) * image.format.BytesPerPixel - 1];
    (void)sink;
  }
  qx::ReleaseGraphImage(&image);
  qx::MemoryStreamOps().Close(stream);
}

}  // namespace qxfuzz

// One picture format's target: its decoder and the seeds named after it.
#define QUARNEX_IMAGE_FUZZ_TARGET(decoder, prefix)                                       \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {                                 \
    if (const char* seeds = qxfuzz::SeedDirectory()) qxfuzz::WritePictureSeeds(seeds, prefix); \
    return 0;                                                                          \
  }                                                                                    \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {            \
    qxfuzz::DecodeBytes(decoder, data, size);                                          \
    return 0;                                                                          \
  }

#endif
