// Shared by the fuzz targets: seed files for scripts/fuzz.sh.
//
// Run with QUARNEX_FUZZ_WRITE_SEEDS=DIR and -runs=0, a target writes its seed
// corpus into DIR from LLVMFuzzerInitialize and fuzzes nothing.
#ifndef QUARNEX_TESTS_FUZZ_FUZZ_SUPPORT_H
#define QUARNEX_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace qxfuzz {

inline const char* SeedDirectory() { return getenv("QUARNEX_FUZZ_WRITE_SEEDS"); }

inline void WriteSeed(const char* dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string path = std::string(dir) + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    fprintf(stderr, "cannot write seed %s\n", path.c_str());
    exit(1);
  }
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

}  // namespace qxfuzz

#endif
