#include "game/frame.h"
#include "game/frame_stats.h"
#include "game/input_hold.h"
#include "game/scene_frames.h"
#include "game/scenes.h"
#include "game/settings.h"

namespace {

// Both ways of placing a piece are used, so the list records which.
void AddCentred(DrawList& list, int x, int y, GraphHandle piece) { AddRotated(list, x, y, 1.0, 0.0, piece); }

}  // namespace

void BuildLogoFrame(int c, const LogoResources& logo, int white, int black, DrawList& list) {
  const GraphHandle a = logo.pieces[0];
  const GraphHandle b = logo.pieces[1];
  const GraphHandle pieceC = logo.pieces[2];
  AddScreenRect(list, white);
  if (c < 30) {
    AddCentred(list, 240, 300, a);
    AddCentred(list, 1130 - 32 * c, 1190 - 32 * c, b);
  } else if (c < 40) {
    AddCentred(list, 360 - 4 * c, 420 - 4 * c, a);
    AddCentred(list, 290 - 4 * c, 350 - 4 * c, b);
  } else if (c < 60) {
    AddCentred(list, 200 + 3 * (c - 40), 260 + 3 * (c - 40), a);
    AddCentred(list, static_cast<int>(130 + 5.5 * (c - 40)), static_cast<int>(190 + 5.5 * (c - 40)), b);
  } else if (c < 70) {
    AddCentred(list, 380 - 2 * c, 440 - 2 * c, a);
    AddAt(list, 100, 160, b);
  } else {
    AddAt(list, 100, 160, a);
    AddAt(list, 100, 160, b);
  }
  if (c > 60 && c < 120) WithAlpha(AddAt(list, 390, 160, pieceC), static_cast<int>((c - 60) * 4.25));
  if (c >= 120) AddAt(list, 390, 160, pieceC);
  if (c >= 180) WithAlpha(AddScreenRect(list, black), static_cast<int>((c - 180) * 4.25));
}

void LogoScene() {
  int counter = 0;
  FrameStatsScene(kStatLogo);
  while (SceneLoopContinue()) {
    SceneFrameStart(false);
    DrawList list;
    BuildLogoFrame(counter, LogoRes, SceneWhite, SceneBlack, list);
    IssueDrawList(list);
    PresentFrame();
    if (counter == kLogoJingleFrame) PlaySoundHandle(LogoRes.jingle, 1, 1);
    SceneFrameWait();
    ++counter;
    if (CheckStatePad(ConfirmPadBit) == 1 || GetKeyHold(28) == 1 || GetMouseHold(1) == 1 || counter >= kLogoFrames)
      return;
  }
}
