#include "game/game.h"
#include "runtime/runtime.h"

int GameMain() {
  SetWindowCaption("Quarnex");
  if (InitRuntime() == -1) return -1;
  EndRuntime();
  return 0;
}
