// Feeds arbitrary bytes to the whole picture decoder chain through a memory
// stream. Seeds: the committed picture fixtures, one of each variant.
#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/file/file.h"
#include "runtime/graphics/graph_image.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string FixtureDirectory() {
  std::string self = __FILE__;
  return self.substr(0, self.rfind('/')) + "/../fixtures/images";
}

void WriteSeeds(const char* dir) {
  std::string from = FixtureDirectory();
  DIR* d = opendir(from.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    // Pictures only, not the expected pixel dumps beside them.
    if (name[0] == '.' || name.size() < 5 || name.compare(name.size() - 5, 5, ".rgba") == 0) continue;
    FILE* f = fopen((from + "/" + name).c_str(), "rb");
    if (!f) continue;
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    qxfuzz::WriteSeed(dir, name, bytes);
  }
  closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) WriteSeeds(seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx::MemoryStream* stream = qx::OpenMemoryStream(data, size);
  if (!stream) return 0;
  qx::GraphImage image{};
  if (qx::DecodeImage(&qx::MemoryStreamOps(), stream, &image) == 0) {
    // Touch the first and the last pixel so a wrong size or pitch shows up.
    volatile uint8_t sink = image.pixels[0];
    sink = image.pixels[static_cast<size_t>(image.height - 1) * image.pitch +
                        static_cast<size_t>(image.width) * image.format.BytesPerPixel - 1];
    (void)sink;
  }
  qx::ReleaseGraphImage(&image);
  qx::MemoryStreamOps().Close(stream);
  return 0;
}
