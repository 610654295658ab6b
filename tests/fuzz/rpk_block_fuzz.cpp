// The LZ decoder on arbitrary blocks, and the encoder and decoder together on
// arbitrary data: the round trip must give the data back.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "runtime/file/rpk.h"
#include "runtime/file/rpk_writer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void WriteSeeds(const char* dir) {
  std::vector<uint8_t> text;
  for (int i = 0; i < 2000; ++i) text.push_back(static_cast<uint8_t>("stone breaks "[i % 13] + (i / 500)));
  qxfuzz::WriteSeed(dir, "text-block", qx::EncodeRpkBlock(text.data(), text.size()));
  std::vector<uint8_t> runs(5000, 0xFF);
  qxfuzz::WriteSeed(dir, "run-block", qx::EncodeRpkBlock(runs.data(), runs.size()));
  qxfuzz::WriteSeed(dir, "overlap", {11, 0, 0, 0, 13, 0, 0, 0, 0xFF, 'x', 0xFF, 0x30, 0x00});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) WriteSeeds(seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t decoded = qx::RpkBlockDecodedSize(data, size);
  if (decoded <= (1u << 22)) {
    std::vector<uint8_t> out(decoded);
    qx::RpkDecodeBlock(data, size, out.data(), out.size());
  }
  std::vector<uint8_t> block = qx::EncodeRpkBlock(data, size);
  std::vector<uint8_t> back(size);
  if (qx::RpkDecodeBlock(block.data(), block.size(), back.data(), back.size()) != 0) abort();
  if (size && memcmp(back.data(), data, size) != 0) abort();
  return 0;
}
