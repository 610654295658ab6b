// The state of one game: the rules update it, the drawing reads it.
#ifndef QUARNEX_GAME_GAME_STATE_H
#define QUARNEX_GAME_GAME_STATE_H

constexpr int kStonePool = 64;
constexpr int kStoneSlots = 32;  // only the first half of the pool is ever used
constexpr int kEffectRing = 8;

struct Stone {
  int active;
  int spawnIndex;  // 0..24, a cell of the 5 x 5 start grid
  int kind;        // 0..2
  int hitPoints;   // 4 at spawn; may go negative
  int cracked;
  int breaking;    // 0 intact, then 1, 2, ...; the slot frees above 23
  int targeted;
  double x, y;
  double alpha;
  double depth;
  double speed;
  double heading;  // radians
  double spin;     // degrees
  double scale;
};

struct HitEffect {
  int x, y;
  int type;
  int strength;  // damage dealt: 1, 2 or 4
  double scale;
  int counter;   // 0 idle; 1 when created, back to 0 on reaching 26
};

struct GameState {
  Stone stones[kStonePool];
  HitEffect effects[kEffectRing];

  // Constants, set at every game start.
  int coreX, coreY;
  int nearDepth;
  int farDepth;
  int hitRadiusBase;
  int cooldownLength;

  int frame;
  int phaseA, phaseB;  // background phases
  double startSpeed;
  double acceleration;
  int spawnRequest;  // survives a game start
  int spawnSlot;
  int drawOrder;  // 0: slots 16..31 are in front; 1: slots 0..15
  int hitFlag;
  int cooldown;
  int score;
  int attackType;
  int lives;
  int damageFlag, damageCounter;
  int leaveFlag, leaveCounter;
  int recoil;  // survives a game start
  int shake;   // written by the drawing
  int lockedOn;
  int effectSlot;

  int attackSoundRequest;
  int breakSoundRequest;
  int changeSoundRequest;
  int damageSoundRequest;
};

#endif
