#include "runtime/core/alloc.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "runtime/core/log.h"
#include "runtime/platform/process_memory.h"

namespace qx {
namespace {

// 64 bytes in front of every block, whatever the size of a pointer. The copy of
// the first bytes that a 32-bit layout kept for corruption checks does not fit
// next to 64-bit links; that check was never switched on, so the space is padding.
struct BlockHeader {
  char sourceName[16];
  uint16_t number;
  uint16_t line;
  uint32_t size;
  BlockHeader* prev;
  BlockHeader* next;
  uint8_t mapped;  // from MapLargeBlock rather than the heap
  uint8_t brief;   // mapped as a brief block
  uint8_t padding[64 - 16 - 2 * sizeof(uint16_t) - sizeof(uint32_t) - 2 * sizeof(void*) - 2];
};
static_assert(sizeof(BlockHeader) == 64, "the block header is 64 bytes");

BlockHeader* g_newest = nullptr;
size_t g_bytes = 0;
int g_blocks = 0;
uint16_t g_nextNumber = 0;
// File reader threads allocate too; the list must not be torn by them.
std::mutex g_mutex;

void ReportLine(const BlockHeader* h) {
  char line[256];
  int n = snprintf(line, sizeof(line), "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  data:<", static_cast<int>(h->size),
                   h->size / 1024.0, h->sourceName, h->line, h->number);
  const unsigned char* data = reinterpret_cast<const unsigned char*>(h + 1);
  size_t shown = h->size < 16 ? h->size : 16;
  for (size_t i = 0; i < shown; ++i) line[n++] = data[i] < 32 ? '.' : static_cast<char>(data[i] & 0x7F);
  n += snprintf(line + n, sizeof(line) - n, "> [");
  for (size_t i = 0; i < shown; ++i) n += snprintf(line + n, sizeof(line) - n, "%02x ", data[i]);
  if (shown > 0) n--;  // the last separator becomes the closing bracket
  snprintf(line + n, sizeof(line) - n, "]\n");
  LogWrite(line);
}

BlockHeader* NewBlock(size_t size, bool brief) {
  const bool mappable = size <= UINT32_MAX;  // the header keeps the size in 32 bits
  void* memory = mappable ? MapLargeBlock(sizeof(BlockHeader), size, brief) : nullptr;
  const bool mapped = memory != nullptr;
  if (!mapped) memory = malloc(size + sizeof(BlockHeader));
  if (!memory) return nullptr;
  BlockHeader* h = static_cast<BlockHeader*>(memory);
  memset(h, 0, sizeof(*h));
  h->mapped = mapped;
  h->brief = mapped && brief;
  return h;
}

void* Allocate(size_t size, bool brief) {
  BlockHeader* h = NewBlock(size, brief);
  if (!h) {
    WriteAllocationReport();
    return nullptr;
  }
  h->size = static_cast<uint32_t>(size);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    h->number = g_nextNumber++;
    h->next = g_newest;
    if (g_newest) g_newest->prev = h;
    g_newest = h;
    g_bytes += size;
    g_blocks++;
  }
  if (size == 0) {
    LogWrite("mem alloc  ");
    ReportLine(h);
  }
  return h + 1;
}

}  // namespace

void* MemAlloc(size_t size) { return Allocate(size, false); }
void* MemAllocBrief(size_t size) { return Allocate(size, true); }

void* MemAllocZero(size_t size) {
  void* memory = MemAlloc(size);
  // Mapped blocks come zero-filled.
  if (memory && !(static_cast<BlockHeader*>(memory) - 1)->mapped) memset(memory, 0, size);
  return memory;
}

void MemFree(void* memory) {
  if (!memory) return;
  BlockHeader* h = static_cast<BlockHeader*>(memory) - 1;
  if (h->size == 0) {
    LogWrite("mem free  ");
    ReportLine(h);
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_bytes -= h->size;
    g_blocks--;
    if (h->prev) h->prev->next = h->next;
    if (h->next) h->next->prev = h->prev;
    if (g_newest == h) g_newest = h->next;
  }
  if (h->mapped) {
    UnmapLargeBlock(h, sizeof(BlockHeader), h->size, h->brief != 0);
  } else {
    free(h);
  }
}

void WriteAllocationReport() {
  std::lock_guard<std::mutex> lock(g_mutex);
  LogWrite("\n");
  LogWrite("Alloc memory dump\n");
  for (const BlockHeader* h = g_newest; h; h = h->next) ReportLine(h);
  char total[128];
  snprintf(total, sizeof(total), "\tTotal size:%d(%.3fkb)  Alloc num:%d", static_cast<int>(g_bytes), g_bytes / 1024.0,
           g_blocks);
  LogWrite(total);
  LogWrite("\n");
}

size_t AllocatedBytes() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_bytes;
}

int AllocatedBlocks() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_blocks;
}

}  // namespace qx
