// The rules of play as plain functions over a GameState.
#ifndef QUARNEX_GAME_GAME_RULES_H
#define QUARNEX_GAME_GAME_RULES_H

#include "game/game_state.h"

// Returns 0..max inclusive, like GetRandomInt.
typedef int (*RandomSource)(int max);

struct PlayInput {
  int pointerX, pointerY;
  int leftHold;   // hold counter of the left button
  int rightHold;  // hold counter of the right button
};

constexpr int kAttackDamage[3][3] = {
    {4, 2, 1},
    {2, 1, 4},
    {2, 4, 1},
};

// Sum of the date fields, the seed of every game.
int GameSeed(int year, int month, int day, int hour, int minute, int second);

// Everything a game start resets, except the seeding and the pointer.
void StartGame(GameState& state);

// Spawns a stone in the spawn slot; draws kind, spawn index and spin in this order.
void SpawnStone(GameState& state, RandomSource random);

// The steps of a play frame, in the order UpdateGameRules runs them.
void UpdateDifficulty(GameState& state, RandomSource random);
void UpdateSpawning(GameState& state, RandomSource random);
void MoveStones(GameState& state);
void BreakStones(GameState& state);
void ChangeAttackType(GameState& state, const PlayInput& input);
void TargetStones(GameState& state, const PlayInput& input);
void Attack(GameState& state, const PlayInput& input);
void UpdateCooldown(GameState& state);
void UpdateEffects(GameState& state);
void UpdateDamage(GameState& state);
int UpdateGameOver(GameState& state, const PlayInput& input);

// Runs one play frame's rules; returns 1 when the game is over and the scene must leave.
int UpdateGameRules(GameState& state, const PlayInput& input, RandomSource random);

// The count of high-scoring games after a game with this score.
int HighGameCountAfter(int count, int score);

#endif
