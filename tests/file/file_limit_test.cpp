// The open-file table is full at 512 files; the next open is refused and logged.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "runtime/core/log.h"
#include "runtime/core/window_state.h"
#include "runtime/file/file.h"
#include "tests/file/file_test_support.h"

namespace {

TEST(FileLimit, The513thOpenFailsWithItsMessage) {
  qxtest::ScratchDir dir;
  qx::WindowState& ws = qx::GetWindowState();
  const qx::WindowState saved = ws;
  ws.logDisabled = 0;
  snprintf(ws.StartDirectory, sizeof(ws.StartDirectory), "%s", dir.path().c_str());
  qx::StartLog();

  qxtest::WriteBytes("f.txt", qxtest::Bytes("x"));
  std::vector<qx::FileHandle> open;
  for (int i = 0; i < 512; ++i) {
    qx::FileHandle h = qx::FileOpen("f.txt", 0, 1, 0);
    ASSERT_NE(0u, h) << i;
    open.push_back(h);
  }
  EXPECT_EQ(0u, qx::FileOpen("f.txt", 0, 1, 0));
  // A freed slot is taken again.
  EXPECT_EQ(0, qx::FileClose(open[7]));
  open[7] = qx::FileOpen("f.txt", 0, 1, 0);
  EXPECT_EQ(0xF0000007u, open[7]);
  for (qx::FileHandle h : open) EXPECT_EQ(0, qx::FileClose(h));
  EXPECT_EQ(0, qx::OpenFileCount());

  ws = saved;
  std::vector<uint8_t> log = qxtest::ReadWholeFile(dir.path() + "/Log.txt");
  const std::string text(log.begin(), log.end());
  EXPECT_NE(std::string::npos, text.find("同時に開けるファイルの数が限界を超えました")) << text;
}

}  // namespace
