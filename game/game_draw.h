// What a play frame shows, built from the game state.
#ifndef QUARNEX_GAME_GAME_DRAW_H
#define QUARNEX_GAME_GAME_DRAW_H

#include "game/draw_list.h"
#include "game/game_state.h"
#include "game/resources.h"

constexpr double kDegreesToRadians = 0.017453292519943334;

// The thirteen drawing steps, back to front. Writes the shake offset and the
// locked-on flag, which the drawing owns.
void BuildGameFrame(GameState& state, const GameResources& game, const GraphHandle largeDigits[10], int pointerX,
                    int pointerY, int black, int white, DrawList& list);

// Plays what the rules requested this frame, clearing the requests; starts the music in frame 1.
void PlayRequestedSounds(GameState& state, const GameResources& game);

// The intro picture's frame; returns 1 when the intro has ended (the frame is not to be shown).
struct IntroState {
  int counter;
  int fade;
};
int BuildIntroFrame(IntroState& intro, GraphHandle picture, int leftHold, int black, DrawList& list);

#endif
