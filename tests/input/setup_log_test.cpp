// Which back end set-up chooses, and what it writes to the log.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/core/log.h"
#include "tests/input/input_fixture.h"

namespace {

int FailingInit() { return -1; }

class InputSetUpLog : public HeadlessInput {
 protected:
  void SetUp() override {
    HeadlessInput::SetUp();
    snprintf(dir_, sizeof dir_, "/tmp/quarnex_inputlog_XXXXXX");
    ASSERT_NE(mkdtemp(dir_), nullptr);
    qx::WindowState& w = qx::GetWindowState();
    snprintf(w.StartDirectory, sizeof w.StartDirectory, "%s", dir_);
    w.logDisabled = 0;
    qx::StartLog();
  }
  void TearDown() override {
    qx::WindowState& w = qx::GetWindowState();
    w.logDisabled = 1;
    w.StartDirectory[0] = '\0';
    std::string log = std::string(dir_) + "/Log.txt";
    unlink(log.c_str());
    rmdir(dir_);
    HeadlessInput::TearDown();
  }

  std::string Log() const {
    std::string text;
    std::string path = std::string(dir_) + "/Log.txt";
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
  }

  char dir_[64];
};

struct LogCase {
  const char* name;
  bool deviceInitFails;
  bool notAvailable;
  intptr_t object;
  int padCount;
  std::vector<const char*> present;
  std::vector<const char*> absent;
};

TEST_F(InputSetUpLog, ChoosesTheBackEndAndLogsIt) {
  const LogCase cases[] = {
      {"devices",
       false,
       false,
       qx::kInputObjectDevices,
       2,
       {"DirectInput関係初期化処理\r\n", "DirectInput7 の取得中... 成功\r\n", "引き続き初期化処理... 初期化成功\r\n",
        "ジョイパッドの初期化... \r\n", "入力装置を見つけました\r\n", "デバイスの登録名:Scripted pad 2\r\n",
        "デバイスの製品登録名:Scripted pad 2\r\n", "ジョイパッドの追加は正常に終了しました\r\n",
        "ジョイパッドの初期化は正常に終了しました\r\n", "マウスデバイスの初期化... 初期化成功\r\n",
        "キーボードデバイスの初期化... 初期化成功\r\n", "DirectInput 関連の初期化は正常に終了しました\r\n",
        "DirectInput 関連の終了処理... 完了\r\n"},
       {"DirectInput8", "入力関連の初期化をしました"}},
      {"devices missing",
       true,
       false,
       qx::kInputObjectFallback,
       8,
       {"DirectInput7 の取得中... 取得に失敗。\r\n", "エラーコード 0xffffffff\r\n",
        "DirectInput8 の取得を試みます...取得に失敗。DirectInput を使用しません。\r\n", "パッドの数は 2 個です\r\n",
        "入力関連の初期化をしました\r\n", "入力関連の終了処理... 完了\r\n"},
       {"成功", "ジョイパッドの初期化"}},
      {"known to be missing",
       false,
       true,
       qx::kInputObjectFallback,
       8,
       {"パッドの数は 2 個です\r\n", "入力関連の初期化をしました\r\n", "入力関連の終了処理... 完了\r\n"},
       {"DirectInput"}},
  };
  for (const LogCase& c : cases) {
    qx::PlatformInputOps input = *qx::kHeadlessPlatform.input;
    if (c.deviceInitFails) input.Init = FailingInit;
    qx::Platform platform = qx::kHeadlessPlatform;
    platform.input = &input;
    qx::SelectPlatform(&platform);
    qx::HeadlessReset();
    ASSERT_EQ(qx::HeadlessLoadScriptText("frame 0 pads 2\n"), 1);
    qx::GetInputState().notAvailable = c.notAvailable;
    qx::StartLog();

    EXPECT_EQ(qx::SetUpInput(), 0) << c.name;
    EXPECT_EQ(qx::GetInputState().object, c.object) << c.name;
    EXPECT_EQ(qx::GetInputState().padCount, c.padCount) << c.name;
    EXPECT_EQ(qx::GetInputState().notAvailable, c.object == qx::kInputObjectFallback) << c.name;
    qx::EndInput();
    EXPECT_EQ(qx::GetInputState().object, qx::kInputObjectNone) << c.name;

    std::string log = Log();
    for (const char* text : c.present) EXPECT_NE(log.find(text), std::string::npos) << c.name << ": " << text;
    for (const char* text : c.absent) EXPECT_EQ(log.find(text), std::string::npos) << c.name << ": " << text;
    qx::SelectPlatform(&qx::kHeadlessPlatform);
    qx::GetInputState().notAvailable = 0;
  }
}

void SetUpWithout(bool keyboard) {
  qx::PlatformInputOps input = *qx::kHeadlessPlatform.input;
  (keyboard ? input.GetKeyboardState : input.GetMouseButtons) = nullptr;
  qx::Platform platform = qx::kHeadlessPlatform;
  platform.input = &input;
  qx::SelectPlatform(&platform);
  qx::SetUpInput();
}

TEST_F(InputSetUpLog, MissingKeyboardOrMouseEndsTheProcess) {
  // The child must write to this test's log, so it is forked, not started afresh.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(SetUpWithout(true), ::testing::ExitedWithCode(255), "");
  EXPECT_NE(Log().find("キーボードデバイスの取得に失敗しました"), std::string::npos);
  EXPECT_EXIT(SetUpWithout(false), ::testing::ExitedWithCode(255), "");
  EXPECT_NE(Log().find("マウスデバイスの取得に失敗しました"), std::string::npos);
}

}  // namespace
