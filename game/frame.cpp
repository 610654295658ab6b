// The scene skeleton shared by every scene loop.
#include "game/frame.h"

// <thread> brings the clocks and durations; <chrono> itself holds a literal
// that the Shift-JIS execution character set cannot take.
#include <thread>

#include "game/frame_stats.h"
#include "game/input_hold.h"
#include "runtime/runtime.h"

int func_state = 0;
int SceneWhite = 0;
int SceneBlack = 0;
int PointerX = 0;
int PointerY = 0;

namespace {

constexpr unsigned kFramePeriodMs = 17;
// The last stretch of the frame wait is spun: a sleep may overshoot by about this much.
constexpr unsigned kSpinMs = 1;

int g_frameStart = 0;
// Whether a sleep moves the tick on. Under a virtual clock (the headless back
// end) it does not, and sleeping would only cost real time.
bool g_sleepMovesTick = true;

}  // namespace

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
  FrameStatsBegin();
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

void PresentFrame() {
  FrameStatsPresentBegin();
  FlipScreen();
  FrameStatsPresentEnd();
}

void SceneFrameWait() {
  FrameStatsEnd();
  // Sleep through most of the wait and spin on the tick for the rest; the
  // frame ends on the tick a pure busy wait would end it on. The tick wraps,
  // so compare differences. Each pass reads the tick exactly once, asleep or
  // not, so a virtual clock moves exactly as under a busy wait.
  unsigned before = 0, slept = 0;
  for (;;) {
    const unsigned elapsed = static_cast<unsigned>(GetTickMilliseconds(0) - g_frameStart);
    // A sleep of 2 ms or more that left the tick where it was shows a clock
    // that does not follow real time.
    if (slept >= 2 && elapsed == before) g_sleepMovesTick = false;
    if (elapsed >= kFramePeriodMs) break;
    slept = 0;
    if (g_sleepMovesTick && elapsed + kSpinMs < kFramePeriodMs) {
      slept = kFramePeriodMs - kSpinMs - elapsed;
      before = elapsed;
      std::this_thread::sleep_for(std::chrono::milliseconds(slept));
    }
  }
}
