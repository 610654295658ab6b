// The game's entry point and scene dispatcher.
#ifndef QUARNEX_GAME_GAME_H
#define QUARNEX_GAME_GAME_H

int GameMain();

#endif
