#include "game/game_rules.h"

#include <cmath>
#include <limits>

namespace {

struct DifficultyRow {
  int minScore;
  int stepA, stepB;
  double acceleration;
  int spawnPeriod;
};

constexpr DifficultyRow kDifficulty[] = {
    {512, 20, 10, 0.05, 40},
    {256, 18, 9, 0.03, 40},
    {128, 16, 8, 0.02, 50},
    {32, 14, 7, 0.015, 60},
    {-2147483647 - 1, 12, 6, 0.01, 80},
};

const DifficultyRow& DifficultyFor(int score) {
  for (const DifficultyRow& row : kDifficulty) {
    if (score >= row.minScore) return row;
  }
  return kDifficulty[4];
}

double ScaleForDepth(double depth, int farDepth) {
  return depth * depth * 3.0 / (static_cast<double>(farDepth) * farDepth);
}

}  // namespace

int GameSeed(int year, int month, int day, int hour, int minute, int second) {
  return year + month + day + hour + minute + second;
}

void StartGame(GameState& state) {
  state.coreX = 400;
  state.coreY = 280;
  state.nearDepth = 120;
  state.farDepth = 320;
  state.hitRadiusBase = 20;
  state.lives = 3;
  state.cooldownLength = 20;

  state.frame = 0;
  state.phaseA = 0;
  state.phaseB = 0;
  state.score = 0;
  state.attackType = 0;
  state.spawnSlot = 0;
  state.drawOrder = 0;
  state.hitFlag = 0;
  state.attackSoundRequest = 0;
  state.breakSoundRequest = 0;
  state.changeSoundRequest = 0;
  state.damageSoundRequest = 0;
  state.effectSlot = 0;
  state.cooldown = 0;
  state.damageFlag = 0;
  state.damageCounter = 0;
  state.leaveFlag = 0;
  state.leaveCounter = 0;
  state.shake = 0;
  state.lockedOn = 0;
  for (Stone& stone : state.stones) stone.active = 0;
  for (HitEffect& effect : state.effects) effect.counter = 0;
}

void UpdateDifficulty(GameState& state, RandomSource random) {
  const DifficultyRow& row = DifficultyFor(state.score);
  state.phaseA += row.stepA;
  state.phaseB += row.stepB;
  state.startSpeed = 0.1;
  state.acceleration = row.acceleration;
  if (state.frame % row.spawnPeriod == 0 && random(7) < 6) state.spawnRequest = 1;
}

void SpawnStone(GameState& state, RandomSource random) {
  const int slot = state.spawnSlot;
  Stone& stone = state.stones[slot];
  stone.active = 1;
  stone.hitPoints = 4;
  stone.breaking = 0;
  stone.kind = random(2);
  stone.spawnIndex = random(24);
  stone.spin = random(360);
  static constexpr int kOffsetX[5] = {-8, -4, 0, 4, 8};
  static constexpr int kOffsetY[5] = {-6, -3, 0, 3, 6};
  // A draw outside 0..24 would index past the grid; the nearest cell keeps the stone on screen.
  int index = stone.spawnIndex;
  if (index < 0) index = 0;
  if (index > 24) index = 24;
  stone.x = state.coreX + kOffsetX[index % 5];
  stone.y = state.coreY + kOffsetY[index / 5];
  stone.y += 1.0;  // never exactly on the core, so the heading is defined
  stone.heading = std::atan2(state.coreY - stone.y, state.coreX - stone.x);
  stone.speed = state.startSpeed;
  stone.depth = 0;
  if (slot == 0) state.drawOrder = 0;
  if (slot == 16) state.drawOrder = 1;
  state.spawnSlot = slot >= kStoneSlots - 1 ? 0 : slot + 1;
}

void UpdateSpawning(GameState& state, RandomSource random) {
  if (state.lives > 0 && state.spawnRequest == 1) {
    state.spawnRequest = 0;
    SpawnStone(state, random);
  }
}

void MoveStones(GameState& state) {
  const double alphaPerDepth = 255 / state.nearDepth;
  for (int i = 0; i < kStoneSlots; ++i) {
    Stone& s = state.stones[i];
    if (s.active && s.breaking == 0) {
      s.speed += state.acceleration;
      s.spin += 1.0;
      s.x += std::cos(s.heading) * s.speed * 0.7;
      s.y += std::sin(s.heading) * s.speed * 0.7;
      s.depth += s.speed;
      s.alpha = s.depth * alphaPerDepth;
      if (s.alpha > 255) s.alpha = 255;
      s.scale = ScaleForDepth(s.depth, state.farDepth);
      if (s.scale > 3.0) s.scale = 3.0;
      if (s.depth > state.farDepth) {
        s.active = 0;
        state.damageFlag = 1;
        state.damageSoundRequest = 1;
      }
    }
    s.cracked = s.hitPoints <= 2 ? 1 : 0;
  }
}

void BreakStones(GameState& state) {
  for (int i = 0; i < kStoneSlots; ++i) {
    Stone& s = state.stones[i];
    if (s.active && s.breaking == 0 && s.hitPoints < 1) {
      s.breaking = 1;
      ++state.score;
      state.breakSoundRequest = 1;
    }
    if (s.breaking > 0) ++s.breaking;
    if (s.breaking > 23) s.active = 0;
  }
}

void ChangeAttackType(GameState& state, const PlayInput& input) {
  if (input.rightHold == 1) {
    state.attackType = (state.attackType + 1) % 3;
    state.changeSoundRequest = 1;
  }
}

void TargetStones(GameState& state, const PlayInput& input) {
  for (int i = 0; i < kStoneSlots; ++i) {
    Stone& s = state.stones[i];
    s.targeted = 0;
    if (!s.active || s.hitPoints <= 0 || s.depth <= state.nearDepth) continue;
    const double dx = input.pointerX - s.x;
    const double dy = input.pointerY - s.y;
    if (std::sqrt(dx * dx + dy * dy) < state.hitRadiusBase + s.depth * 0.5) s.targeted = 1;
  }
}

void Attack(GameState& state, const PlayInput& input) {
  if (input.leftHold != 1 || state.cooldown != 0 || state.damageFlag != 0) return;
  state.hitFlag = 0;
  for (int n = 0; n < kStoneSlots; ++n) {
    // With the draw-order flag 0 the upper half is drawn in front, so it is examined first.
    const int slot = state.drawOrder == 0 ? (n + 16) % kStoneSlots : n;
    Stone& s = state.stones[slot];
    if (s.targeted != 1) continue;
    const int damage = kAttackDamage[state.attackType][s.kind];
    s.hitPoints -= damage;
    HitEffect& e = state.effects[state.effectSlot];
    e.x = input.pointerX;
    e.y = input.pointerY;
    e.type = state.attackType;
    e.strength = damage;
    e.scale = ScaleForDepth(s.depth, state.farDepth);
    e.counter = 1;
    state.effectSlot = (state.effectSlot + 1) % kEffectRing;
    state.hitFlag = 1;
    break;
  }
  if (state.hitFlag == 1) {
    state.cooldown = 1;
    state.attackSoundRequest = 1;
  }
}

void UpdateCooldown(GameState& state) {
  if (state.cooldown > 0) {
    ++state.cooldown;
    if (state.cooldown == state.cooldownLength) state.cooldown = 0;
  }
  if (state.cooldown > 0 && state.cooldown < 6) state.recoil += 3;
  if (state.cooldown > 5) state.recoil -= 1;
  if (state.cooldown == 0 && state.lives > 0) state.recoil = 0;
}

void UpdateEffects(GameState& state) {
  for (HitEffect& e : state.effects) {
    if (e.counter > 0) {
      ++e.counter;
      if (e.counter == 26) e.counter = 0;
    }
  }
}

void UpdateDamage(GameState& state) {
  if (state.damageFlag == 1) {
    if (state.damageCounter == 0) {
      --state.lives;
      for (int i = 0; i < kStoneSlots; ++i) state.stones[i].breaking = 1;
    }
    ++state.damageCounter;
  }
  if (state.lives > 0 && state.damageCounter == 120) {
    state.damageCounter = 0;
    state.damageFlag = 0;
  }
}

int UpdateGameOver(GameState& state, const PlayInput& input) {
  if (state.lives < 1) --state.recoil;
  if (state.lives < 1 && state.damageCounter > 120) {
    if (state.damageCounter > 720 || input.leftHold == 1) state.leaveFlag = 1;
    if (state.leaveFlag == 1) ++state.leaveCounter;
    if (state.leaveCounter > 60) return 1;
  }
  return 0;
}

int UpdateGameRules(GameState& state, const PlayInput& input, RandomSource random) {
  UpdateDifficulty(state, random);
  UpdateSpawning(state, random);
  MoveStones(state);
  BreakStones(state);
  ChangeAttackType(state, input);
  TargetStones(state, input);
  Attack(state, input);
  UpdateCooldown(state);
  UpdateEffects(state);
  UpdateDamage(state);
  return UpdateGameOver(state, input);
}

// The count comes from the save file and may hold anything; it stops at the
// largest value instead of overflowing.
int HighGameCountAfter(int count, int score) {
  return score > 255 && count < std::numeric_limits<int>::max() ? count + 1 : count;
}
