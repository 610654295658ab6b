// A whole file as bytes, for tests, fuzz seeds and benchmarks.
#ifndef QUARNEX_TESTS_SUPPORT_READ_FILE_H
#define QUARNEX_TESTS_SUPPORT_READ_FILE_H

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace qxtest {

// Empty when the file cannot be opened.
inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  fclose(f);
  return bytes;
}

// The same as text (a log, a capture, a child's standard error).
inline std::string ReadWholeText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace qxtest

#endif
