// What the logo and title frames show and decide, apart from the loops that run them.
#ifndef QUARNEX_GAME_SCENE_FRAMES_H
#define QUARNEX_GAME_SCENE_FRAMES_H

#include "game/draw_list.h"
#include "game/resources.h"

constexpr int kLogoFrames = 240;
constexpr int kLogoJingleFrame = 30;

void BuildLogoFrame(int counter, const LogoResources& logo, int white, int black, DrawList& list);

int TitleVariantFor(int highScore);

struct TitleState {
  int counter;
  int fade;  // 0 until the click, then counts the fade-out
};

struct TitleInput {
  int leftHold;    // mouse hold counter
  int padLeft;     // pad counters of the Left and Right key-map entries
  int padRight;
  int pointerX, pointerY;
};

enum TitleAction {
  kTitleStartGame = 1,    // play the start sound; the game follows the fade
  kTitleVolumeChanged = 2,  // give the start sound the new volume
  kTitleLeave = 4,        // save the settings and end without showing this frame
};

// One title frame: sets TitleVariant, changes VolumeLevel through
// ApplyVolumeLevel, and returns TitleAction bits for the caller to carry out.
int TitleFrame(TitleState& title, const TitleInput& input, const TitleResources& res, int highScore, int white,
               int black, DrawList& list);

#endif
