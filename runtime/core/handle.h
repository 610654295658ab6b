// Fixed-capacity tables of objects named by checked 32-bit handles.
#ifndef QUARNEX_RUNTIME_CORE_HANDLE_H
#define QUARNEX_RUNTIME_CORE_HANDLE_H

#include <stddef.h>

namespace qx {

enum HandleType {
  kHandleGraph = 1,
  kHandleSound = 2,
  kHandleMovie = 3,
  kHandleFont = 4,
  kHandleSurface2D = 5,
  kHandleSurface3D = 6,
  kHandleSurfaceData = 7,
  kHandleMask = 8,
  kHandleNetwork = 9,
  kHandleCharInput = 10,
  kHandleMidi = 11,
};

constexpr int kHandleTypeMask = 0x78000000;
constexpr int kHandleCheckMask = 0x07FF0000;
constexpr int kHandleSlotMask = 0xFFFF;

// Every object record starts with these two fields.
struct HandleRecordHeader {
  int CheckNumber;
  int* lostFlag;  // set to 1 when the object is deleted
};

enum HandleSlotSearch {
  kSearchAreaEndThenLowest = 0,
  kSearchLowestFree = 1,
};

struct HandleTable {
  int type;
  int capacity;
  int search;
  HandleRecordHeader** slots;  // capacity entries, null = free
  int count;
  int areaEnd;
  int checkCounter;
  const char* fullMessage;  // logged when the table is full (null: none)
};

// Sets up a table (slots allocated on first use).
void HandleTableInit(HandleTable* table, int type, int capacity, int search, const char* fullMessage);
// Frees every record left and the slot array; the table stays usable and
// keeps its check counter.
void HandleTableFree(HandleTable* table);
// "type:count" of every table set up so far, comma-separated; returns the
// length written.
int HandleCountsText(char* out, size_t size);
// Takes a slot for a zero-filled record of recordSize bytes (which begins with
// HandleRecordHeader). Returns the handle or -1. Graph tables end the program
// when full. reuseHandle >= 0 asks for that handle's slot and check number
// (the sound table's rule).
int HandleAllocate(HandleTable* table, int recordSize, int reuseHandle = -1);
// The record behind a handle, or null when the handle is invalid for the table.
HandleRecordHeader* HandleLookup(HandleTable* table, int handle);
template <typename T>
T* HandleGet(HandleTable* table, int handle) {
  return reinterpret_cast<T*>(HandleLookup(table, handle));
}
// Frees the record (setting its lost flag) and empties the slot.
void HandleRelease(HandleTable* table, int handle);
// The handle of a used slot rebuilt from its record, or -1 for a free slot.
int HandleAtSlot(HandleTable* table, int slot);
// Registers a lost flag: sets it to 0 now and to 1 when the object is deleted.
void HandleSetLostFlag(HandleTable* table, int handle, int* flag);

// Doubly linked handle list with two sentinels.
struct HandleListNode {
  int handle;
  void* object;
  HandleListNode* prev;
  HandleListNode* next;
};
void HandleListInit(HandleListNode* head, HandleListNode* tail);
void HandleListAdd(HandleListNode* head, HandleListNode* node, int handle, void* object);
void HandleListRemove(HandleListNode* node);

}  // namespace qx

#endif
