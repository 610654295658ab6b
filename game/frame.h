// The skeleton every scene loop follows, and the state it shares.
#ifndef QUARNEX_GAME_FRAME_H
#define QUARNEX_GAME_FRAME_H

extern int func_state;
extern int SceneWhite;  // GetColorValue(255, 255, 255), refreshed every frame
extern int SceneBlack;  // GetColorValue(0, 0, 0)
extern int PointerX, PointerY;

// Loop condition: messages, first clear, hold counters, Escape. False ends the scene.
bool SceneLoopContinue();
// Colours, frame start tick, second clear and, for title and gameplay, the pointer.
void SceneFrameStart(bool readPointer);
// FlipScreen, with its time kept out of the frame statistics.
void PresentFrame();
// Wait until 17 ms have passed since the frame start: mostly asleep, the
// last millisecond spinning on the tick.
void SceneFrameWait();
void RefreshSceneColors();
int UpdateFrameInput();
void ResetSceneResources();

#endif
