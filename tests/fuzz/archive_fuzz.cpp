// Opens an archive made of arbitrary bytes through the file layer and reads
// every file in it. The input is the archive with its XOR layer already
// removed, so the fuzzer steers the header and tables directly.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/file/rpk.h"
#include "runtime/file/rpk_writer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const char kKey[] = "QxStone8";
std::string g_dir;

void RemoveDirectory() {
  std::error_code ec;
  std::filesystem::remove_all(g_dir, ec);
}

qx::RpkWriterEntry File(const char* name, std::vector<uint8_t> data) {
  qx::RpkWriterEntry e;
  e.name = name;
  e.data = std::move(data);
  return e;
}

qx::RpkWriterEntry Dir(const char* name, std::vector<qx::RpkWriterEntry> children) {
  qx::RpkWriterEntry e;
  e.name = name;
  e.isDirectory = true;
  e.children = std::move(children);
  return e;
}

void WriteSeeds(const char* dir) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "abcabcab" + std::to_string(i % 5);
  std::vector<uint8_t> repeated(text.begin(), text.end());
  std::vector<uint8_t> mixed(300);
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<uint8_t>((i * 7) ^ (i >> 3));
  const std::vector<qx::RpkWriterEntry> tree = {
      File("A.TXT", repeated),
      File("e", {}),
      Dir("img", {Dir("game", {File("intro.png", mixed), File("x", {1, 2, 3})})}),
      File("\x83\x5C.bin", repeated),
  };
  uint8_t key[qx::kRpkKeySize];
  qx::DeriveArchiveKey(kKey, key);
  int n = 0;
  for (uint16_t version : {1, 3}) {
    for (bool compress : {false, true}) {
      qx::RpkWriterOptions options;
      options.version = version;
      options.compress = compress;
      options.keyString = kKey;
      std::vector<uint8_t> bytes;
      std::string error;
      if (!qx::BuildRpkArchive(tree, options, &bytes, &error)) abort();
      qx::ApplyArchiveXor(bytes.data(), bytes.size(), 0, key);
      qxfuzz::WriteSeed(dir, "archive" + std::to_string(n++), bytes);
    }
  }
}

// Paths of every file in the archive (below the root), each at most once.
void CollectFiles(qx::RpkArchive* a, uint32_t dirOffset, const std::string& prefix, int depth,
                  std::set<uint32_t>& visiting, std::vector<std::string>* out) {
  qx::RpkDirectory dir;
  if (depth > 8 || out->size() >= 64 || visiting.count(dirOffset) || qx::RpkGetDirectory(a, dirOffset, &dir) != 0) {
    return;
  }
  visiting.insert(dirOffset);
  for (uint32_t i = 0; i < dir.count && i < 256 && out->size() < 64; ++i) {
    qx::RpkFileHeader e;
    if (qx::RpkGetEntry(a, dir, i, &e) != 0) break;
    const char* name = qx::RpkEntryName(a, e);
    if (!name || !name[0] || strchr(name, '/')) continue;
    if (e.attributes & qx::kRpkDirectoryAttribute) {
      CollectFiles(a, e.dataAddress, prefix + name + "/", depth + 1, visiting, out);
    } else {
      out->push_back(prefix + name);
    }
  }
  visiting.erase(dirOffset);
}

void ReadAll(const std::string& path) {
  qx::FileHandle h = qx::FileOpen(path.c_str(), 0, 1, 0);
  if (h == 0) return;
  static uint8_t buffer[4096];
  size_t total = 0;
  for (size_t step = 1; qx::FileEof(h) == 0 && total < (1u << 24); step = step * 3 % 4093 + 1) {
    total += qx::FileRead(buffer, 1, step, h);
  }
  qx::FileSeek(h, -5, 2);
  qx::FileRead(buffer, 3, 7, h);
  qx::FileSeek(h, 1, 0);
  qx::FileRead(buffer, 1, sizeof(buffer), h);
  qx::FileClose(h);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) WriteSeeds(seeds);
  char pattern[] = "/tmp/quarnex-fuzz-XXXXXX";
  if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
  g_dir = pattern;
  atexit(RemoveDirectory);
  qx::SetArchiveExtension("ptk");
  qx::SetArchiveKeyString(kKey);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  uint8_t key[qx::kRpkKeySize];
  qx::DeriveArchiveKey(kKey, key);
  qx::ApplyArchiveXor(bytes.data(), bytes.size(), 0, key);
  FILE* f = fopen("res.ptk", "wb");
  if (!f) abort();
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);

  std::vector<std::string> files;
  qx::RpkArchive a;
  if (qx::RpkOpen(&a, "res.ptk", kKey) == 0) {
    std::set<uint32_t> visiting;
    CollectFiles(&a, 0, "", 0, visiting, &files);
    qx::RpkClose(&a);
  }
  for (const std::string& path : files) ReadAll("./res/" + path);
  ReadAll("./res/missing");
  qx::CloseUnusedArchives();
  if (qx::OpenFileCount() != 0 || qx::OpenArchiveCount() != 0) abort();
  return 0;
}
