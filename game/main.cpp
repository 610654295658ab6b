#include "game/game.h"

// GameMain's -1 leaves the process with status 255.
int main() { return GameMain(); }
