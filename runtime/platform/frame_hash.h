// QUARNEX_FRAME_HASHES: one line per presented frame, its number and a
// running 64-bit FNV-1a hash over the pixels of every frame so far, so that
// two runs drew the same pictures when their last lines agree. Both back ends
// write it from the software renderer's frames.
#ifndef QUARNEX_RUNTIME_PLATFORM_FRAME_HASH_H
#define QUARNEX_RUNTIME_PLATFORM_FRAME_HASH_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace qx {

struct FrameHashFile {
  static constexpr uint64_t kOffset = 0xcbf29ce484222325ULL;
  static constexpr uint64_t kPrime = 0x100000001b3ULL;

  std::string path;
  FILE* file = nullptr;
  uint64_t hash = kOffset;

  // The variable is read at every frame, so a change takes effect at once
  // (tests switch it within one process); a new file starts a new run.
  void Configure() {
    const char* wanted = getenv("QUARNEX_FRAME_HASHES");
    if (!wanted) wanted = "";
    if (path == wanted) return;  // compared in place: no allocation per frame
    if (file) fclose(file);
    file = nullptr;
    path = wanted;
    hash = kOffset;
    if (!*wanted) return;
    file = fopen(wanted, "w");
    if (!file) fprintf(stderr, "quarnex: cannot write frame hashes to %s\n", wanted);
  }

  void Add(uint64_t frameNumber, const void* pixels, int pitch, int width, int height, int bytesPerPixel) {
    if (!file) return;
    const uint8_t* base = static_cast<const uint8_t*>(pixels);
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = base + static_cast<ptrdiff_t>(y) * pitch;
      for (size_t i = 0; i < rowBytes; ++i) hash = (hash ^ row[i]) * kPrime;
    }
    fprintf(file, "%llu %016llx\n", static_cast<unsigned long long>(frameNumber),
            static_cast<unsigned long long>(hash));
    fflush(file);
  }
};

}  // namespace qx

#endif
