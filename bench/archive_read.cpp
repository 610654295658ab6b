// Throughput of the archive LZ coder and of reading a file through an archive.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/file/rpk.h"
#include "runtime/file/rpk_writer.h"

namespace {

// Picture-like data: smooth rows with some noise, about as compressible as
// the game's resources.
std::vector<uint8_t> SampleData(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t seed = 1;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    v[i] = static_cast<uint8_t>((i % 1024) / 8 + ((seed >> 16) & 3));
  }
  return v;
}

void BM_EncodeBlock(benchmark::State& state) {
  std::vector<uint8_t> data = SampleData(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(qx::EncodeRpkBlock(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeBlock)->Arg(1 << 20);

void BM_DecodeBlock(benchmark::State& state) {
  std::vector<uint8_t> data = SampleData(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> block = qx::EncodeRpkBlock(data.data(), data.size());
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    if (qx::RpkDecodeBlock(block.data(), block.size(), out.data(), out.size()) != 0) state.SkipWithError("decode");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeBlock)->Arg(1 << 20);

// Opening and reading a 256 KB file from an archive that is already open.
void BM_OpenAndReadFromArchive(benchmark::State& state) {
  char pattern[] = "/tmp/quarnex-bench-XXXXXX";
  if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
  qx::RpkWriterEntry file;
  file.name = "intro.png";
  file.data = SampleData(256 * 1024);
  qx::RpkWriterEntry dir;
  dir.name = "img";
  dir.isDirectory = true;
  dir.children.push_back(file);
  qx::RpkWriterOptions options;
  options.compress = state.range(0) != 0;
  options.keyString = "QxStone8";
  std::vector<uint8_t> bytes;
  std::string error;
  if (!qx::BuildRpkArchive({dir}, options, &bytes, &error)) abort();
  std::ofstream("res.ptk", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
  qx::InitFileLayer();
  qx::SetArchiveExtension("ptk");
  qx::SetArchiveKeyString("QxStone8");
  std::vector<uint8_t> buffer(file.data.size());
  for (auto _ : state) {
    qx::FileHandle h = qx::FileOpen("./res/img/intro.png", 0, 1, 0);
    if (h == 0 || qx::FileRead(buffer.data(), 1, buffer.size(), h) != buffer.size()) state.SkipWithError("read");
    qx::FileClose(h);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
  qx::CloseUnusedArchives();
  if (chdir("/") != 0) abort();
  std::filesystem::remove_all(pattern);
}
BENCHMARK(BM_OpenAndReadFromArchive)->Arg(0)->Arg(1);

}  // namespace
