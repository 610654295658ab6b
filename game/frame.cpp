// The scene skeleton shared by every scene loop.
#include "game/frame.h"

#include "game/input_hold.h"
#include "runtime/runtime.h"

int func_state = 0;
int SceneWhite = 0;
int SceneBlack = 0;
int PointerX = 0;
int PointerY = 0;

namespace {
int g_frameStart = 0;
}

int UpdateFrameInput() {
  if (ProcessMessage() != 0) return -1;
  if (ClearDrawTarget() != 0) return -1;
  UpdateKeyHold();
  UpdatePadHold();
  return 0;
}

void RefreshSceneColors() {
  SceneWhite = GetColorValue(255, 255, 255);
  SceneBlack = GetColorValue(0, 0, 0);
}

void ResetSceneResources() {
  DeleteAllGraphs(0);
  DeleteAllMasks();
  DeleteAllSounds(0);
}

bool SceneLoopContinue() {
  if (ProcessMessage() != 0) return false;
  if (ClearDrawTarget() != 0) return false;
  UpdateKeyHold();
  UpdatePadHold();
  UpdateMouseHold();
  return GetKeyHold(1) == 0;
}

void SceneFrameStart(bool readPointer) {
  RefreshSceneColors();
  g_frameStart = GetTickMilliseconds(0);
  ClearDrawTarget();
  if (readPointer) GetCursorPosition(&PointerX, &PointerY);
}

void SceneFrameWait() {
  // A busy wait on the tick, as the frame pace asks; the tick wraps, so compare differences.
  while (static_cast<unsigned>(GetTickMilliseconds(0) - g_frameStart) < 17u) {
  }
}
