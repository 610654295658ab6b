// Small helpers for the file-layer tests: a fresh working directory, files
// and archives written into it.
#ifndef QUARNEX_TESTS_FILE_FILE_TEST_SUPPORT_H
#define QUARNEX_TESTS_FILE_FILE_TEST_SUPPORT_H

#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/file/rpk_writer.h"
#include "support/read_file.h"

namespace qxtest {

// A temporary directory that is the current directory for its lifetime.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/quarnex-file-XXXXXX";
    path_ = mkdtemp(pattern);
    char previous[4096];
    previous_ = getcwd(previous, sizeof(previous)) ? previous : "/";
    if (chdir(path_.c_str()) != 0) abort();
  }
  ~ScratchDir() {
    if (chdir(previous_.c_str()) != 0) abort();
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}


inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Bytes 0, 1, 2, ... (mod 251), so every position holds a known value.
inline std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i % 251);
  return v;
}

// Deterministic bytes that do not compress.
inline std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    v[i] = static_cast<uint8_t>(seed >> 16);
  }
  return v;
}

inline qx::RpkWriterEntry FileEntry(const std::string& name, std::vector<uint8_t> data) {
  qx::RpkWriterEntry e;
  e.name = name;
  e.data = std::move(data);
  return e;
}

inline qx::RpkWriterEntry DirEntry(const std::string& name, std::vector<qx::RpkWriterEntry> children) {
  qx::RpkWriterEntry e;
  e.name = name;
  e.isDirectory = true;
  e.attributes = 0;
  e.children = std::move(children);
  return e;
}

inline std::vector<uint8_t> BuildArchive(const std::vector<qx::RpkWriterEntry>& root, const char* key,
                                         uint16_t version = 3, bool compress = true) {
  qx::RpkWriterOptions options;
  options.version = version;
  options.compress = compress;
  options.keyString = key;
  std::vector<uint8_t> out;
  std::string error;
  if (!qx::BuildRpkArchive(root, options, &out, &error)) abort();
  return out;
}

}  // namespace qxtest

#endif
