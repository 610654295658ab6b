#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph.h"

namespace {

constexpr int kSlotMask = 0xFFFF;
int SlotOf(int handle) { return handle & kSlotMask; }
int CheckOf(int handle) { return (handle >> 16) & 0x7FF; }

class GraphTest : public testing::Test {
 protected:
  void SetUp() override {
    qx::StartGraphSystem();
    qx::GetDrawState().transparentColor = 0xFF00FF;
  }
  void TearDown() override {
    qx::SetBlendMaskCreation(0);
    qx::StopGraphSystem();
  }
  static qx::SurfaceData* StoreOf(int graph) {
    qx::GraphRecord* r = qx::GetGraphRecord(graph);
    if (!r || r->tileCount < 1) return nullptr;
    qx::SurfaceTile* t = qx::GetSurfaceTile(r->tiles[0]);
    return t ? qx::GetSurfaceData(t->store) : nullptr;
  }
};

TEST_F(GraphTest, CreateGraphMakesOneTileOverAMemoryImageStore) {
  int g = qx::CreateGraph(20, 10, true, false, false);
  ASSERT_NE(g, -1);
  qx::GraphRecord* r = qx::GetGraphRecord(g);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->handle, g);
  EXPECT_EQ(r->movie, -1);
  EXPECT_EQ(r->tileCount, 1);
  EXPECT_EQ(r->spec.UseTexture, 0) << "no 3D device here";
  const int bits = qx::GetRequestedColorBits() > 0 ? qx::GetRequestedColorBits() : 16;
  EXPECT_EQ(r->spec.ColorBitDepth, bits);
  qx::SurfaceData* s = StoreOf(g);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->memImageFlag, 1);
  EXPECT_EQ(s->refCount, 1);
  EXPECT_EQ(s->transparentColor, 0xFF00FFu);
  EXPECT_EQ(s->image.width, 20);
  EXPECT_EQ(s->image.pixelType, bits == 16 ? qx::kPixel16 : qx::kPixel32);
  EXPECT_EQ(s->image.colorKey, bits == 16 ? 0xF81Fu : 0xFFFF00FFu);
  EXPECT_EQ(s->formatCode, bits == 16 ? 10 : 12);

  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  EXPECT_EQ(view.pixels, s->image.pixels);
  EXPECT_EQ(qx::GetGraphImage(g + 1, &view), -1);

  int w = 0, h = 0;
  EXPECT_EQ(qx::QueryGraphSize(g, &w, &h), 0);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(qx::QueryGraphSize(-2, &w, &h), 0);
  EXPECT_GT(w, 0);
}

TEST_F(GraphTest, StoreKindsFollowAlphaPaletteAndBlendMask) {
  int alpha = qx::CreateGraph(4, 4, true, true, false);
  int palette = qx::CreateGraph(4, 4, true, false, true);
  qx::SetBlendMaskCreation(1);
  int mask = qx::CreateGraph(4, 4, true, false, false);
  qx::SetBlendMaskCreation(0);
  ASSERT_NE(alpha, -1);
  ASSERT_NE(palette, -1);
  ASSERT_NE(mask, -1);
  EXPECT_EQ(StoreOf(alpha)->image.alphaFlag, 1);
  EXPECT_EQ(StoreOf(alpha)->spec.SystemMemory, 1);
  EXPECT_EQ(StoreOf(palette)->image.paletteFlag, 1);
  EXPECT_EQ(StoreOf(palette)->image.colorKey, 0xFFFFu) << "placeholder until pixels arrive";
  EXPECT_EQ(qx::GetGraphRecord(mask)->blendMaskFlag, 1);
  EXPECT_EQ(qx::GetGraphRecord(mask)->spec.BlendMask, 1);
  EXPECT_EQ(StoreOf(mask)->image.pixelType, qx::kPixelMask8);
  EXPECT_EQ(StoreOf(mask)->image.format->BytesPerPixel, 1);
  EXPECT_EQ(qx::GetGraphRecord(alpha)->blendMaskFlag, 0);
}

TEST_F(GraphTest, SubGraphsShareTheStoreAndAreClippedToTheParent) {
  int parent = qx::CreateGraph(10, 8, true, false, false);
  ASSERT_NE(parent, -1);
  qx::GraphRecord* p = qx::GetGraphRecord(parent);
  strcpy(p->fileName, "pic.png");

  struct {
    int x, y, w, h;
    int wantW, wantH;  // 0: refused
  } cases[] = {
      {2, 3, 4, 4, 4, 4}, {8, 0, 5, 2, 2, 2}, {0, 6, 3, 5, 3, 2}, {10, 0, 1, 1, 0, 0},
      {0, 8, 1, 1, 0, 0}, {-1, 0, 2, 2, 0, 0}, {0, 0, 0, 3, 0, 0},
  };
  for (auto& c : cases) {
    int sub = qx::CreateSubGraph(c.x, c.y, c.w, c.h, parent);
    if (c.wantW == 0) {
      EXPECT_EQ(sub, -1) << c.x << "," << c.y;
      continue;
    }
    ASSERT_NE(sub, -1) << c.x << "," << c.y;
    qx::GraphRecord* r = qx::GetGraphRecord(sub);
    EXPECT_EQ(r->width, c.wantW);
    EXPECT_EQ(r->height, c.wantH);
    EXPECT_EQ(r->sourceX, c.x);
    EXPECT_EQ(r->sourceY, c.y);
    EXPECT_STREQ(r->fileName, "pic.png");
    EXPECT_EQ(StoreOf(sub), StoreOf(parent));
    qx::MEMIMG parentView{}, view{};
    ASSERT_EQ(qx::GetGraphImage(parent, &parentView), 0);
    ASSERT_EQ(qx::GetGraphImage(sub, &view), 0);
    EXPECT_EQ(view.pixels, parentView.pixels + c.y * parentView.pitch + c.x * parentView.format->BytesPerPixel);
    EXPECT_EQ(view.width, c.wantW);
  }
  EXPECT_EQ(StoreOf(parent)->refCount, 4);
  EXPECT_EQ(qx::CreateSubGraph(0, 0, 1, 1, parent + 7), -1) << "invalid parent";

  // A cut of a cut lands at the sum of the offsets in the shared store.
  int outer = qx::CreateSubGraph(2, 1, 6, 6, parent);
  int inner = qx::CreateSubGraph(1, 2, 2, 2, outer);
  ASSERT_NE(inner, -1);
  qx::MEMIMG parentView{}, view{};
  qx::GetGraphImage(parent, &parentView);
  qx::GetGraphImage(inner, &view);
  EXPECT_EQ(view.pixels, parentView.pixels + 3 * parentView.pitch + 3 * parentView.format->BytesPerPixel);
  EXPECT_EQ(qx::GetGraphRecord(inner)->sourceX, 3);
}

TEST_F(GraphTest, CellsKeepTheirStoreUntilTheLastIsReleased) {
  const int storesBefore = qx::SurfaceDataTable().count;
  int parent = qx::CreateGraph(9, 9, true, false, false);
  ASSERT_NE(parent, -1);
  int cells[9];
  for (int i = 0; i < 9; ++i) {
    cells[i] = qx::CreateSubGraph((i % 3) * 3, (i / 3) * 3, 3, 3, parent);
    ASSERT_NE(cells[i], -1);
  }
  qx::SurfaceData* store = StoreOf(parent);
  EXPECT_EQ(store->refCount, 10);
  EXPECT_EQ(qx::ReleaseGraph(parent, 0), 0);
  EXPECT_EQ(qx::GetGraphRecord(parent), nullptr);
  EXPECT_EQ(qx::ReleaseGraph(parent, 0), -1) << "a released handle is refused";
  for (int i = 0; i < 9; ++i) {
    qx::MEMIMG view{};
    ASSERT_EQ(qx::GetGraphImage(cells[i], &view), 0) << "cell " << i << " still has pixels";
    EXPECT_EQ(qx::SurfaceDataTable().count, storesBefore + 1);
    EXPECT_EQ(StoreOf(cells[i])->refCount, 9 - i);
    EXPECT_EQ(qx::ReleaseGraph(cells[i], 0), 0);
  }
  EXPECT_EQ(qx::SurfaceDataTable().count, storesBefore);
  EXPECT_EQ(qx::SurfaceTileTable().count, 0);
}

TEST_F(GraphTest, DeletedFlagAndCheckNumbersAfterDeleteAll) {
  int deleted = 0;
  int first = qx::CreateGraph(2, 2, true, false, false);
  ASSERT_NE(first, -1);
  qx::HandleSetLostFlag(&qx::GraphTable(), first, &deleted);
  int second = qx::CreateGraph(2, 2, true, false, false);
  EXPECT_EQ(SlotOf(second), SlotOf(first) + 1);
  EXPECT_EQ(CheckOf(second), (CheckOf(first) + 1) % 2048);
  EXPECT_EQ(qx::DeleteAllGraphs(0), 0);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(qx::GraphTable().count, 0);
  EXPECT_EQ(qx::SurfaceTileTable().count, 0);
  EXPECT_EQ(qx::SurfaceDataTable().count, 0);
  EXPECT_EQ(qx::GetGraphRecord(second), nullptr);
  // The table starts over at slot 0 with the next check number.
  int third = qx::CreateGraph(2, 2, true, false, false);
  EXPECT_EQ(SlotOf(third), 0);
  EXPECT_EQ(CheckOf(third), (CheckOf(second) + 1) % 2048);
  EXPECT_NE(third, first);
  // After 2048 creations the check number comes round again.
  int handle = third;
  for (int i = 0; i < 2048; ++i) {
    qx::ReleaseGraph(handle, 0);
    handle = qx::CreateGraph(2, 2, true, false, false);
  }
  EXPECT_EQ(handle, third);
}

TEST_F(GraphTest, SizesAStoreCannotHoldAreRefused) {
  EXPECT_EQ(qx::CreateGraph(0, 5, true, false, false), -1);
  EXPECT_EQ(qx::CreateGraph(70000, 5, true, false, false), -1);
  EXPECT_EQ(qx::GraphTable().count, 0) << "a failed creation releases its slot";
}

TEST_F(GraphTest, FileNamesAndMasks) {
  int g = qx::CreateGraph(2, 2, true, false, false);
  qx::SetGraphFileName(g, "./res/img/game/type.png");
  EXPECT_STREQ(qx::GetGraphRecord(g)->fileName, "./res/img/game/type.png");
  std::string tooLong(80, 'a');
  qx::SetGraphFileName(g, tooLong.c_str());
  EXPECT_STREQ(qx::GetGraphRecord(g)->fileName, "") << "a cut name would restore another file";

  qx::MaskRecord* masks = qx::MaskTable();
  masks[3].used = 1;
  masks[3].data = qx::MemAlloc(16);
  masks[3].width = 4;
  masks[7].width = 9;  // not used: left alone
  EXPECT_EQ(qx::DeleteAllMasks(), 0);
  EXPECT_EQ(masks[3].used, 0);
  EXPECT_EQ(masks[3].data, nullptr);
  EXPECT_EQ(masks[3].width, 0);
  EXPECT_EQ(masks[7].width, 9);
  masks[7].width = 0;
}

TEST(GraphSystem, NothingWorksOrBreaksBeforeStart) {
  qx::StopGraphSystem();
  EXPECT_EQ(qx::GraphSystemStarted(), 0);
  EXPECT_EQ(qx::DeleteAllGraphs(1), 0);
  EXPECT_EQ(qx::CreateGraph(4, 4, true, false, false), -1);
  qx::StartGraphSystem();
  EXPECT_EQ(qx::GraphSystemStarted(), 1);
  int g = qx::CreateGraph(4, 4, true, false, false);
  EXPECT_NE(g, -1);
  qx::StartGraphSystem();  // a second start keeps what exists
  EXPECT_NE(qx::GetGraphRecord(g), nullptr);
  qx::StopGraphSystem();
  EXPECT_EQ(qx::GraphTable().count, 0);
}

}  // namespace
