#include <gtest/gtest.h>
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

#include "runtime/core/alloc.h"
#include "runtime/platform/process_memory.h"

namespace {

// Sizes on both sides of the point where blocks stop coming from the heap.
const size_t kSizes[] = {1, 4096, qx::kLargeBlockBytes - 1, qx::kLargeBlockBytes, qx::kLargeBlockBytes + 1,
                         12u << 20};

TEST(Alloc, BlocksOfEverySizeAreWholeZeroedWhenAskedAndCounted) {
  const int blocksBefore = qx::AllocatedBlocks();
  const size_t bytesBefore = qx::AllocatedBytes();
  std::vector<unsigned char*> blocks;
  size_t total = 0;
  for (size_t size : kSizes) {
    for (bool zero : {false, true}) {
      auto* block = static_cast<unsigned char*>(zero ? qx::MemAllocZero(size) : qx::MemAlloc(size));
      ASSERT_NE(block, nullptr) << size;
      if (zero) {
        size_t nonZero = 0;
        for (size_t i = 0; i < size; ++i) nonZero += block[i] != 0;
        EXPECT_EQ(nonZero, 0u) << size;
      }
      memset(block, 0xA5, size);  // every byte must be writable
      blocks.push_back(block);
      total += size;
    }
  }
  EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore + static_cast<int>(blocks.size()));
  EXPECT_EQ(qx::AllocatedBytes(), bytesBefore + total);
  // Free out of order, so that list links across both kinds of block are used.
  for (size_t i = 0; i < blocks.size(); i += 2) qx::MemFree(blocks[i]);
  for (size_t i = 1; i < blocks.size(); i += 2) {
    EXPECT_EQ(blocks[i][0], 0xA5);
    qx::MemFree(blocks[i]);
  }
  EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore);
  EXPECT_EQ(qx::AllocatedBytes(), bytesBefore);
}

// The end of the mapping that holds addr in /proc/self/maps; 0 when none does.
uintptr_t MappingEnd(uintptr_t addr) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    uintptr_t from = 0, to = 0;
    if (sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &from, &to) == 2 && addr >= from && addr < to) return to;
  }
  return 0;
}

TEST(LargeBlockMapping, DataStartsOnAHugePageEndsWhereThePolicySaysAndIsUnmappedWhole) {
  constexpr size_t kMiB = 1u << 20, kHuge = 2u << 20;
  struct Case {
    size_t bytes;
    bool brief;
    size_t mappedData;  // 0: left to the heap
  } const cases[] = {
      {qx::kLargeBlockBytes - 1, false, 0},
      {qx::kLargeBlockBytes, false, kHuge},  // most of a huge page: filled
      {800 * 600 * 4, false, kHuge},
      {3 * kMiB, false, 3 * kMiB},  // a tail of half a huge page keeps small pages
      {5 * kMiB + 1, false, 5 * kMiB + 4096},
      {qx::kBriefBlockBytes - 1, true, 0},
      {qx::kBriefBlockBytes, true, kHuge},
      {3 * kMiB, true, 4 * kMiB},   // a brief block's last huge page half used: filled
      {9 * kMiB - 4096, true, 9 * kMiB - 4096},  // less than half: small pages
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + (c.brief ? " brief" : ""));
    void* header = qx::MapLargeBlock(64, c.bytes, c.brief);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(header, nullptr);  // every block goes through the checked heap
    continue;
#endif
    if (c.mappedData == 0) {
      EXPECT_EQ(header, nullptr);
      continue;
    }
    ASSERT_NE(header, nullptr);
    auto* data = static_cast<unsigned char*>(header) + 64;
    const uintptr_t at = reinterpret_cast<uintptr_t>(data);
    EXPECT_EQ(at % kHuge, 0u);
    EXPECT_EQ(MappingEnd(at), at + c.mappedData);
    EXPECT_EQ(data[c.bytes - 1], 0);
    memset(header, 1, 64 + c.bytes);
    qx::UnmapLargeBlock(header, 64, c.bytes, c.brief);
    EXPECT_EQ(MappingEnd(at - 64), 0u);
    EXPECT_EQ(MappingEnd(at + c.mappedData - 1), 0u);
  }
}

// Big blocks have their pages faulted in ahead on another thread: a block freed
// at once, or filled while that goes on, must come out whole and zero-filled.
TEST(Alloc, BigBlocksFreedOrFilledWhileFaultedInAheadStayWhole) {
  for (int round = 0; round < 40; ++round) {
    const size_t size = (size_t{6} << 20) + static_cast<size_t>(round) * 4096;
    auto* a = static_cast<unsigned char*>(qx::MemAllocZero(size));
    auto* b = static_cast<unsigned char*>(qx::MemAllocZero(size));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    if (round % 2) qx::MemFree(a);  // freed before its pages can all be there
    size_t nonZero = 0;
    for (size_t i = 0; i < size; i += 512) nonZero += b[i] != 0;
    EXPECT_EQ(nonZero, 0u) << round;
    memset(b, round, size);
    EXPECT_EQ(b[size - 1], static_cast<unsigned char>(round));
    qx::MemFree(b);
    if (!(round % 2)) qx::MemFree(a);
  }
}

TEST(Alloc, BriefBlocksAreCountedAndFreedLikeOthers) {
  const int blocksBefore = qx::AllocatedBlocks();
  const size_t bytesBefore = qx::AllocatedBytes();
  for (size_t size : {size_t{1}, qx::kBriefBlockBytes, size_t{3} << 20}) {
    auto* block = static_cast<unsigned char*>(qx::MemAllocBrief(size));
    ASSERT_NE(block, nullptr) << size;
    memset(block, 0x5A, size);
    EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore + 1);
    EXPECT_EQ(qx::AllocatedBytes(), bytesBefore + size);
    qx::MemFree(block);
  }
  EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore);
  EXPECT_EQ(qx::AllocatedBytes(), bytesBefore);
}

}  // namespace
