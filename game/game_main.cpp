// The program's entry: runtime settings, start-up, and the scene dispatcher.
#include "game/frame.h"
#include "game/frame_stats.h"
#include "game/game.h"
#include "game/input_hold.h"
#include "game/scenes.h"
#include "game/settings.h"
#include "runtime/runtime.h"

namespace {

enum SceneState {
  kStateLogo = 0,
  kStateTitle = 1,
  kStateGame = 2,
  kStateQuit = 11,
};

void RunScene() {
  switch (func_state) {
    case kStateLogo:
      FrameStatsLoadBegin();
      LoadLogoResources();
      FrameStatsLoadEnd(kStatLogo);
      LogoScene();
      func_state = kStateTitle;  // the logo is shown once, however it ended
      break;
    case kStateTitle:
      ResetSceneResources();
      FrameStatsLoadBegin();
      LoadTitleResources();
      FrameStatsLoadEnd(kStatTitle);
      TitleScene();
      break;
    case kStateGame:
      func_state = kStateTitle;  // the title follows every game
      ResetSceneResources();
      // The gameplay draws the title's digits, so both loaders run.
      FrameStatsLoadBegin();
      LoadTitleResources();
      LoadGameResources();
      FrameStatsLoadEnd(kStatPlay);
      GameScene();
      break;
    default:
      ScreenPrintf("不明なfunc_state\n");
      break;
  }
}

}  // namespace

int GameMain() {
  FrameStatsStart();
  SetWindowCaption("Quarnex");
  SetWindowIconResource(103);
  SetScreenMode(800, 600, 32, 60);
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  SetLogFileEnabled(0);
  if (InitRuntime() == -1) return -1;
  if (SetDrawTarget(-2) != 0) return -1;
  SetArchiveKeyString(QUARNEX_ARCHIVE_KEY);
  SetArchiveExtension("ptk");
  SetTransparentColor(255, 0, 255);
  SetCursorVisible(0);
  LoadSettings();
  SetDefaultKeyMap();
  ApplyVolumeLevel();
  func_state = kStateLogo;

  for (;;) {
    if (UpdateFrameInput() == -1) break;
    RunScene();
    if (GetKeyHold(1) >= 1) break;
    if (func_state == kStateQuit) break;
    FlipScreen();
  }
  EndRuntime();
  FrameStatsFinish();
  return 0;
}
