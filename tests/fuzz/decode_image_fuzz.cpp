// Feeds arbitrary bytes to the whole decoder chain through a memory stream.
#include <stddef.h>
#include <stdint.h>

#include "runtime/file/file.h"
#include "runtime/graphics/graph_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx::MemoryStream* stream = qx::OpenMemoryStream(data, size);
  if (!stream) return 0;
  qx::GraphImage image{};
  if (qx::DecodeImage(&qx::MemoryStreamOps(), stream, &image) == 0) {
    // Touch the first and last row so a wrong size or pitch shows up.
    volatile uint8_t sink = image.pixels[0];
    sink = image.pixels[static_cast<size_t>(image.height - 1) * image.pitch +
                        static_cast<size_t>(image.width) * image.format.BytesPerPixel - 1];
    (void)sink;
  }
  qx::ReleaseGraphImage(&image);
  qx::MemoryStreamOps().Close(stream);
  return 0;
}
