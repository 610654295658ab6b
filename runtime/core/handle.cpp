#include "runtime/core/handle.h"

#include <stdio.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"

namespace qx {
namespace {

int MakeHandle(const HandleTable* t, int slot, int check) { return slot | ((check | t->type * 2048) * 65536); }

bool EnsureSlots(HandleTable* t) {
  if (t->slots) return true;
  t->slots = static_cast<HandleRecordHeader**>(MemAllocZero(sizeof(HandleRecordHeader*) * t->capacity));
  return t->slots != nullptr;
}

// Every table ever set up, for the resource checkpoints.
HandleTable* g_tables[16];
int g_tableCount = 0;

void Register(HandleTable* t) {
  for (int i = 0; i < g_tableCount; ++i)
    if (g_tables[i] == t) return;
  if (g_tableCount < static_cast<int>(sizeof g_tables / sizeof g_tables[0])) g_tables[g_tableCount++] = t;
}

void Full(HandleTable* t) {
  if (t->type == kHandleGraph) FatalShutdown("グラフィックの数が許容量を越えました終了します");
  if (!t->fullMessage) return;
  // The font table's message names its capacity.
  if (strstr(t->fullMessage, "%d")) {
    LogPrintf(t->fullMessage, t->capacity);
  } else {
    LogWrite(t->fullMessage);
  }
}

}  // namespace

void HandleTableFree(HandleTable* t) {
  if (t->slots) {
    for (int i = 0; i < t->capacity; ++i) MemFree(t->slots[i]);
    MemFree(t->slots);
  }
  t->slots = nullptr;
  t->count = 0;
  t->areaEnd = 0;
}

void HandleTableInit(HandleTable* t, int type, int capacity, int search, const char* fullMessage) {
  HandleTableFree(t);
  int counter = t->checkCounter;  // the check counter runs for the whole process
  memset(t, 0, sizeof(*t));
  t->type = type;
  t->capacity = capacity;
  t->search = search;
  t->fullMessage = fullMessage;
  t->checkCounter = counter;
  Register(t);
}

int HandleCountsText(char* out, size_t size) {
  int n = 0;
  if (size) out[0] = '\0';
  for (int i = 0; i < g_tableCount && n >= 0 && static_cast<size_t>(n) < size; ++i)
    n += snprintf(out + n, size - static_cast<size_t>(n), "%s%d:%d", i ? "," : "", g_tables[i]->type,
                  g_tables[i]->count);
  return n < 0 ? 0 : (static_cast<size_t>(n) < size ? n : static_cast<int>(size) - 1);
}

int HandleAllocate(HandleTable* t, int recordSize, int reuseHandle) {
  if (!EnsureSlots(t)) return -1;
  int slot = -1;
  bool reuse = false;
  if (reuseHandle >= 0 && (reuseHandle & kHandleTypeMask) == t->type * 0x08000000 &&
      (reuseHandle & kHandleSlotMask) < t->capacity && !t->slots[reuseHandle & kHandleSlotMask]) {
    slot = reuseHandle & kHandleSlotMask;
    reuse = true;
  }
  if (!reuse) {
    if (t->count >= t->capacity) {
      Full(t);
      return -1;
    }
    if (t->search == kSearchLowestFree || t->areaEnd >= t->capacity) {
      for (slot = 0; slot < t->capacity && t->slots[slot]; ++slot) {
      }
    } else {
      slot = t->areaEnd;
    }
  }
  HandleRecordHeader* record = static_cast<HandleRecordHeader*>(MemAllocZero(static_cast<size_t>(recordSize)));
  if (!record) {
    if (t->type == kHandleGraph) FatalShutdown("メモリの確保に失敗しました");
    return -1;
  }
  if (reuse) {
    record->CheckNumber = (reuseHandle & kHandleCheckMask) >> 16;
  } else {
    record->CheckNumber = t->checkCounter;
    t->checkCounter = (t->checkCounter + 1) % 2048;
  }
  t->slots[slot] = record;
  t->count++;
  if (t->search != kSearchLowestFree && slot >= t->areaEnd) t->areaEnd = slot + 1;
  if (t->type == kHandleSound && t->areaEnd < t->count) t->areaEnd = t->count;
  return MakeHandle(t, slot, record->CheckNumber);
}

HandleRecordHeader* HandleLookup(HandleTable* t, int handle) {
  if (handle < 0) return nullptr;
  if ((handle & kHandleTypeMask) != t->type * 0x08000000) return nullptr;
  int slot = handle & kHandleSlotMask;
  if (slot >= t->capacity || !t->slots) return nullptr;
  HandleRecordHeader* r = t->slots[slot];
  if (!r) return nullptr;
  if (r->CheckNumber * 65536 != (handle & kHandleCheckMask)) return nullptr;
  return r;
}

void HandleRelease(HandleTable* t, int handle) {
  HandleRecordHeader* r = HandleLookup(t, handle);
  if (!r) return;
  int slot = handle & kHandleSlotMask;
  if (r->lostFlag) *r->lostFlag = 1;
  MemFree(r);
  t->slots[slot] = nullptr;
  t->count--;
  if (t->search != kSearchLowestFree && slot == t->areaEnd - 1) {
    if (t->count == 0) {
      t->areaEnd = 0;
    } else {
      while (t->areaEnd > 0 && !t->slots[t->areaEnd - 1]) t->areaEnd--;
    }
  }
}

int HandleAtSlot(HandleTable* t, int slot) {
  if (!t->slots || slot < 0 || slot >= t->capacity || !t->slots[slot]) return -1;
  return MakeHandle(t, slot, t->slots[slot]->CheckNumber);
}

void HandleSetLostFlag(HandleTable* t, int handle, int* flag) {
  HandleRecordHeader* r = HandleLookup(t, handle);
  if (!r) return;
  r->lostFlag = flag;
  if (flag) *flag = 0;
}

void HandleListInit(HandleListNode* head, HandleListNode* tail) {
  head->handle = -1;
  head->object = nullptr;
  head->prev = nullptr;
  head->next = tail;
  tail->handle = -1;
  tail->object = nullptr;
  tail->prev = head;
  tail->next = nullptr;
}

void HandleListAdd(HandleListNode* head, HandleListNode* node, int handle, void* object) {
  node->handle = handle;
  node->object = object;
  node->prev = head;
  node->next = head->next;
  head->next->prev = node;
  head->next = node;
}

void HandleListRemove(HandleListNode* node) {
  if (node->prev) node->prev->next = node->next;
  if (node->next) node->next->prev = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
}

}  // namespace qx
