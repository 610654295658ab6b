#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

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

TEST(LargeBlockMapping, DataStartsOnAHugePageAndSmallBlocksAreLeftToTheHeap) {
  EXPECT_EQ(qx::MapLargeBlock(64, qx::kLargeBlockBytes - 1), nullptr);
  void* header = qx::MapLargeBlock(64, 5u << 20);
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(header, nullptr);  // every block goes through the checked heap
#else
  ASSERT_NE(header, nullptr);
  auto* data = static_cast<unsigned char*>(header) + 64;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % (2u << 20), 0u);
  EXPECT_EQ(data[(5u << 20) - 1], 0);
  memset(header, 1, 64 + (5u << 20));
  qx::UnmapLargeBlock(header, 64, 5u << 20);
#endif
}

}  // namespace
