// Placeholders until the scene skeleton is written.
#include "game/frame.h"

int func_state = 0;
int SceneWhite = 0;
int SceneBlack = 0;
int PointerX = 0;
int PointerY = 0;

bool SceneLoopContinue() { return false; }
void SceneFrameStart(bool) {}
void SceneFrameWait() {}
void RefreshSceneColors() {}
int UpdateFrameInput() { return -1; }
void ResetSceneResources() {}
