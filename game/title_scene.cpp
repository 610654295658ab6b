#include <algorithm>
#include <limits>

#include "game/frame.h"
#include "game/frame_stats.h"
#include "game/input_hold.h"
#include "game/numbers.h"
#include "game/scene_frames.h"
#include "game/scenes.h"
#include "game/settings.h"

namespace {

// Pad bits the default key map gives to the Left and Right keys.
constexpr int kPadLeftBit = 1;
constexpr int kPadRightBit = 2;

}  // namespace

int TitleVariantFor(int highScore) {
  if (highScore == 0) return 0;
  if (highScore < 128) return 1;
  if (highScore < 256) return 2;
  return 3;
}

int TitleFrame(TitleState& t, const TitleInput& input, const TitleResources& res, int highScore, int white,
               int black, DrawList& list) {
  int actions = 0;
  AddScreenRect(list, white);
  TitleVariant = TitleVariantFor(highScore);
  static constexpr int kPictureForVariant[4] = {0, 0, 1, 2};
  AddAt(list, 0, 0, res.titles[kPictureForVariant[TitleVariant]]);
  AddNumber(list, res.smallDigits, kSmallDigitSpacing, highScore, 760, 7);
  if (VolumeLevel >= 0 && VolumeLevel <= 5) AddAt(list, 0, 580, res.volume[VolumeLevel]);

  if (t.fade == 0) {
    if (input.leftHold == 1) {
      actions |= kTitleStartGame;
      t.fade = 1;
    } else if (input.padLeft == 1 || input.padRight == 1) {
      // The level may come from the settings file as anything; step it
      // without overflow, the clamp below brings it into range.
      const long long stepped = static_cast<long long>(VolumeLevel) + (input.padLeft == 1 ? -1 : 1);
      VolumeLevel = static_cast<int>(std::clamp<long long>(stepped, std::numeric_limits<int>::min(),
                                                           std::numeric_limits<int>::max()));
      ApplyVolumeLevel();
      actions |= kTitleVolumeChanged;
    }
  }
  if (VolumeLevel < 0) VolumeLevel = 0;
  if (VolumeLevel > 5) VolumeLevel = 5;

  const int m = t.counter % 180;
  DrawCommand& prompt = AddAt(list, 0, 0, res.click);
  if (m < 60) WithAlpha(prompt, static_cast<int>(m * 4.25));
  if (m > 120) WithAlpha(prompt, static_cast<int>(255 - (t.counter % 60) * 4.25));

  AddAt(list, input.pointerX - 64, input.pointerY - 64, res.pointer);

  if (t.fade >= 1) {
    WithAlpha(AddScreenRect(list, black), static_cast<int>(t.fade * 4.25));
    ++t.fade;
  }
  if (t.fade == 65) return actions | kTitleLeave;
  if (t.counter < 60) WithAlpha(AddScreenRect(list, white), static_cast<int>(255 - t.counter * 4.25));
  return actions;
}

void TitleScene() {
  GameScore = 0;
  LoadSaveData();
  TitleState title{0, 0};
  FrameStatsScene(kStatTitle);
  while (SceneLoopContinue()) {
    SceneFrameStart(true);
    const TitleInput input{GetMouseHold(1), CheckStatePad(kPadLeftBit), CheckStatePad(kPadRightBit), PointerX,
                           PointerY};
    DrawList list;
    const int actions = TitleFrame(title, input, TitleRes, HighScore, SceneWhite, SceneBlack, list);
    if (actions & kTitleStartGame) {
      PlaySoundHandle(TitleRes.start, 1, 1);
      func_state = 2;
    }
    if (actions & kTitleVolumeChanged) SetSoundVolume(SoundVolume, TitleRes.start);
    IssueDrawList(list);
    if (actions & kTitleLeave) {
      SaveSettings();
      return;
    }
    PresentFrame();
    SceneFrameWait();
    ++title.counter;
  }
}
