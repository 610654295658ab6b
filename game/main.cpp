#include "game/game.h"

int main() { return GameMain(); }
