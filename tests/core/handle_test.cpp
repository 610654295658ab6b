#include <gtest/gtest.h>

#include <vector>

#include "runtime/core/handle.h"

namespace {

using namespace qx;

struct Record {
  HandleRecordHeader header;
  int payload;
};

class Table : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HandleTable* t : {&graphs_, &sounds_, &fonts_}) {
      if (t->slots) HandleTableInit(t, t->type, t->capacity, t->search, t->fullMessage);  // frees the records
    }
  }
  int Add(HandleTable* t, int reuse = -1) { return HandleAllocate(t, sizeof(Record), reuse); }
  static int Slot(int h) { return h & 0xFFFF; }
  static int Check(int h) { return (h >> 16) & 0x7FF; }

  HandleTable graphs_{};
  HandleTable sounds_{};
  HandleTable fonts_{};
};

TEST_F(Table, FirstHandlesOfEachType) {
  HandleTableInit(&graphs_, kHandleGraph, 32768, kSearchAreaEndThenLowest, nullptr);
  HandleTableInit(&sounds_, kHandleSound, 4096, kSearchAreaEndThenLowest, nullptr);
  HandleTableInit(&fonts_, kHandleFont, 40, kSearchLowestFree, nullptr);
  EXPECT_EQ(Add(&graphs_), 0x08000000);
  EXPECT_EQ(Add(&graphs_), 0x08010001);  // slot 1, check number 1
  EXPECT_EQ(Add(&sounds_), 0x10000000);
  EXPECT_EQ(Add(&fonts_), 0x20000000);
}

TEST_F(Table, CheckNumberWrapsAfter2048) {
  HandleTableInit(&graphs_, kHandleGraph, 32768, kSearchAreaEndThenLowest, nullptr);
  int first = Add(&graphs_);
  HandleRelease(&graphs_, first);
  int previous = first;
  for (int i = 1; i < 2048; ++i) {
    int h = Add(&graphs_);
    ASSERT_EQ(Check(h), i);
    ASSERT_EQ(Slot(h), 0);
    // The deleted object's handle is refused although its slot is reused.
    ASSERT_EQ(HandleLookup(&graphs_, previous), nullptr);
    HandleRelease(&graphs_, h);
    previous = h;
  }
  int wrapped = Add(&graphs_);
  EXPECT_EQ(wrapped, first);
  // After 2048 allocations a stale handle matches again: the documented limit.
  EXPECT_NE(HandleLookup(&graphs_, first), nullptr);
}

TEST_F(Table, AreaEndRules) {
  HandleTableInit(&sounds_, kHandleGraph, 4, kSearchAreaEndThenLowest, nullptr);
  int h[4];
  for (int i = 0; i < 3; ++i) h[i] = Add(&sounds_);
  EXPECT_EQ(sounds_.areaEnd, 3);
  // A hole below the area end is not reused while there is room above it.
  HandleRelease(&sounds_, h[1]);
  EXPECT_EQ(sounds_.areaEnd, 3);
  h[1] = Add(&sounds_);
  EXPECT_EQ(Slot(h[1]), 3);
  // With the area end at capacity the lowest free slot is taken.
  HandleRelease(&sounds_, h[0]);
  h[0] = Add(&sounds_);
  EXPECT_EQ(Slot(h[0]), 0);
  // Deleting the highest used slot lowers the area end past the empty slots below it.
  HandleRelease(&sounds_, h[2]);  // slot 2
  HandleRelease(&sounds_, h[1]);  // slot 3
  EXPECT_EQ(sounds_.areaEnd, 1);
  EXPECT_EQ(Slot(Add(&sounds_)), 1);
  // Emptying the table brings the area end back to 0.
  for (int slot = 0; slot < 4; ++slot) {
    int handle = HandleAtSlot(&sounds_, slot);
    if (handle >= 0) HandleRelease(&sounds_, handle);
  }
  EXPECT_EQ(sounds_.count, 0);
  EXPECT_EQ(sounds_.areaEnd, 0);
  int next = Add(&sounds_);
  EXPECT_EQ(Slot(next), 0);
  EXPECT_EQ(Check(next), 6);  // six allocations came before it
}

TEST_F(Table, InvalidHandlesAreRefused) {
  HandleTableInit(&graphs_, kHandleGraph, 16, kSearchAreaEndThenLowest, nullptr);
  HandleTableInit(&sounds_, kHandleSound, 16, kSearchAreaEndThenLowest, nullptr);
  int g = Add(&graphs_);
  int s = Add(&sounds_);
  ASSERT_NE(HandleLookup(&graphs_, g), nullptr);
  struct Case {
    const char* what;
    int handle;
  } cases[] = {
      {"error value", -1},
      {"negative", static_cast<int>(0x88000000u)},
      {"another type", s},
      {"no type", g & 0x07FFFFFF},
      {"slot beyond capacity", g | 16},
      {"free slot", g + 1},
      {"wrong check number", g + 0x10000},
  };
  for (const Case& c : cases) EXPECT_EQ(HandleLookup(&graphs_, c.handle), nullptr) << c.what;
}

TEST_F(Table, SoundHandlesCanBeRecreatedUnderTheirOldValue) {
  HandleTableInit(&sounds_, kHandleSound, 8, kSearchAreaEndThenLowest, nullptr);
  int a = Add(&sounds_);
  int b = Add(&sounds_);
  HandleRelease(&sounds_, a);
  int counter = sounds_.checkCounter;
  EXPECT_EQ(Add(&sounds_, a), a);
  EXPECT_EQ(sounds_.checkCounter, counter);
  // A used slot cannot be taken over: a fresh handle is made instead.
  int c = Add(&sounds_, b);
  EXPECT_NE(c, b);
  EXPECT_EQ(Slot(c), 2);
  // A reused slot above the area end still counts as used by for-each.
  HandleRelease(&sounds_, c);
  HandleRelease(&sounds_, b);
  int far = 0x10000000 | (5 << 16) | 6;
  EXPECT_EQ(Add(&sounds_, far), far);
  EXPECT_GE(sounds_.areaEnd, 7);
  EXPECT_EQ(HandleAtSlot(&sounds_, 6), far);
}

TEST_F(Table, FontsTakeTheLowestFreeSlotAndAFullTableFails) {
  HandleTableInit(&fonts_, kHandleFont, 3, kSearchLowestFree, "作成できるフォントハンドル数 %d の限界を超えました");
  int h[3];
  for (int& v : h) v = Add(&fonts_);
  EXPECT_EQ(Add(&fonts_), -1);
  HandleRelease(&fonts_, h[0]);
  EXPECT_EQ(Slot(Add(&fonts_)), 0);
}

TEST_F(Table, LostFlagFollowsTheObject) {
  HandleTableInit(&graphs_, kHandleGraph, 8, kSearchAreaEndThenLowest, nullptr);
  int h = Add(&graphs_);
  int lost = 7;
  HandleSetLostFlag(&graphs_, h, &lost);
  EXPECT_EQ(lost, 0);
  HandleRelease(&graphs_, h);
  EXPECT_EQ(lost, 1);
}

TEST(HandleList, AddsAtTheFrontAndUnlinks) {
  HandleListNode head, tail, a, b;
  HandleListInit(&head, &tail);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
  EXPECT_EQ(head.handle, -1);
  int objA = 0, objB = 0;
  HandleListAdd(&head, &a, 10, &objA);
  HandleListAdd(&head, &b, 20, &objB);
  std::vector<int> order;
  for (HandleListNode* n = head.next; n != &tail; n = n->next) order.push_back(n->handle);
  EXPECT_EQ(order, (std::vector<int>{20, 10}));
  HandleListRemove(&b);
  EXPECT_EQ(head.next, &a);
  EXPECT_EQ(a.prev, &head);
  HandleListRemove(&a);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
}

}  // namespace
