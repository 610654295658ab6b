#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "game/game_rules.h"

namespace {

// Random draws come from a queue; an empty queue answers with the maximum,
// which never requests a spawn (GetRandomInt(7) = 7 is not below 6).
std::vector<int> g_draws;
size_t g_next = 0;

int ScriptedRandom(int max) {
  if (g_next < g_draws.size()) return g_draws[g_next++];
  return max;
}

class Rules : public ::testing::Test {
 protected:
  void SetUp() override {
    g_draws.clear();
    g_next = 0;
    state = GameState{};
    StartGame(state);
  }

  // An intact stone already deep enough to be hit, standing still.
  Stone& PlaceStone(int slot, int kind, double x, double y, double depth) {
    Stone& s = state.stones[slot];
    s = Stone{};
    s.active = 1;
    s.kind = kind;
    s.hitPoints = 4;
    s.x = x;
    s.y = y;
    s.depth = depth;
    s.heading = -M_PI / 2;
    return s;
  }

  // Runs whole play frames with the given input, as the play loop does.
  int Frame(const PlayInput& input) {
    const int leave = UpdateGameRules(state, input, ScriptedRandom);
    ++state.frame;
    return leave;
  }

  GameState state;
};

constexpr PlayInput kIdle{0, 0, 0, 0};

PlayInput ClickAt(int x, int y) { return PlayInput{x, y, 1, 0}; }

TEST_F(Rules, SpawnPositionFollowsTheGridAroundTheCore) {
  struct Case {
    int index;
    double x, y;
  };
  const Case cases[] = {{12, 400, 281}, {0, 392, 275}, {4, 408, 275}, {20, 392, 287}, {24, 408, 287}, {7, 400, 278}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    g_draws = {1, c.index, 90};
    g_next = 0;
    state.startSpeed = 0.1;
    state.spawnSlot = 5;
    SpawnStone(state, ScriptedRandom);
    const Stone& s = state.stones[5];
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(s.kind, 1);
    EXPECT_EQ(s.spawnIndex, c.index);
    EXPECT_DOUBLE_EQ(s.spin, 90);
    EXPECT_DOUBLE_EQ(s.x, c.x);
    EXPECT_DOUBLE_EQ(s.y, c.y);
    EXPECT_DOUBLE_EQ(s.heading, std::atan2(280 - c.y, 400 - c.x));
    EXPECT_EQ(s.hitPoints, 4);
    EXPECT_DOUBLE_EQ(s.depth, 0);
    EXPECT_DOUBLE_EQ(s.speed, 0.1);
  }
}

TEST_F(Rules, CentreStoneTravelsStraightUp) {
  g_draws = {0, 0, 12, 0};  // spawn chance, kind, index, spin
  Frame(kIdle);
  const Stone& s = state.stones[0];
  ASSERT_EQ(s.active, 1);
  for (int i = 0; i < 50; ++i) Frame(kIdle);
  EXPECT_NEAR(s.x, 400, 1e-9);
  EXPECT_LT(s.y, 281 - 10);
  EXPECT_GT(s.depth, 0);
}

TEST_F(Rules, SpawnSlotWrapsAndSetsTheDrawOrder) {
  struct Case {
    int slot;
    int orderBefore;
    int orderAfter;
    int nextSlot;
  };
  const Case cases[] = {{0, 1, 0, 1}, {15, 0, 0, 16}, {16, 0, 1, 17}, {31, 1, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    state.spawnSlot = c.slot;
    state.drawOrder = c.orderBefore;
    SpawnStone(state, ScriptedRandom);
    EXPECT_EQ(state.drawOrder, c.orderAfter);
    EXPECT_EQ(state.spawnSlot, c.nextSlot);
  }
}

TEST_F(Rules, DifficultyByScore) {
  struct Case {
    int score;
    int stepA, stepB;
    double acceleration;
    int period;
  };
  const Case cases[] = {{0, 12, 6, 0.01, 80},     {31, 12, 6, 0.01, 80},    {32, 14, 7, 0.015, 60},
                        {127, 14, 7, 0.015, 60},  {128, 16, 8, 0.02, 50},   {255, 16, 8, 0.02, 50},
                        {256, 18, 9, 0.03, 40},   {511, 18, 9, 0.03, 40},   {512, 20, 10, 0.05, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.score);
    state.score = c.score;
    state.phaseA = 100;
    state.phaseB = 50;
    // One frame before a spawn point draws nothing; the spawn point itself draws once.
    state.frame = c.period - 1;
    state.spawnRequest = 0;
    g_draws = {0};
    g_next = 0;
    UpdateDifficulty(state, ScriptedRandom);
    EXPECT_EQ(state.spawnRequest, 0);
    EXPECT_EQ(g_next, 0u);
    EXPECT_EQ(state.phaseA, 100 + c.stepA);
    EXPECT_EQ(state.phaseB, 50 + c.stepB);
    EXPECT_DOUBLE_EQ(state.acceleration, c.acceleration);
    EXPECT_DOUBLE_EQ(state.startSpeed, 0.1);
    state.frame = 2 * c.period;
    UpdateDifficulty(state, ScriptedRandom);
    EXPECT_EQ(state.spawnRequest, 1);
  }
}

TEST_F(Rules, SpawnChanceIsSixInEight) {
  for (int draw = 0; draw <= 7; ++draw) {
    SCOPED_TRACE(draw);
    state.frame = 0;
    state.spawnRequest = 0;
    g_draws = {draw};
    g_next = 0;
    UpdateDifficulty(state, ScriptedRandom);
    EXPECT_EQ(state.spawnRequest, draw < 6 ? 1 : 0);
  }
}

TEST_F(Rules, MotionRampsAlphaAndScaleAndCapsThem) {
  Stone& s = PlaceStone(0, 0, 400, 281, 100);
  s.speed = 1.0;
  state.acceleration = 0.5;
  MoveStones(state);
  EXPECT_DOUBLE_EQ(s.speed, 1.5);
  EXPECT_DOUBLE_EQ(s.depth, 101.5);
  EXPECT_DOUBLE_EQ(s.alpha, 203);
  EXPECT_DOUBLE_EQ(s.scale, 101.5 * 101.5 * 3.0 / (320.0 * 320.0));
  EXPECT_NEAR(s.y, 281 - 1.5 * 0.7, 1e-9);
  EXPECT_DOUBLE_EQ(s.spin, 1.0);
  s.depth = 300;
  MoveStones(state);
  EXPECT_DOUBLE_EQ(s.alpha, 255);
  EXPECT_DOUBLE_EQ(s.scale, 302 * 302 * 3.0 / (320.0 * 320.0));
  EXPECT_EQ(s.active, 1);
  EXPECT_EQ(state.damageFlag, 0);
}

TEST_F(Rules, OneHitBreakScoresInTheNextFrame) {
  PlaceStone(20, 0, 300, 200, 200);
  Frame(ClickAt(300, 200));
  EXPECT_EQ(state.stones[20].hitPoints, 0);
  EXPECT_EQ(state.score, 0);
  EXPECT_EQ(state.attackSoundRequest, 1);
  EXPECT_EQ(state.cooldown, 2);
  EXPECT_EQ(state.effects[0].counter, 2);  // created at 1, advanced in the same frame
  EXPECT_EQ(state.effects[0].strength, 4);
  EXPECT_EQ(state.effects[0].x, 300);
  const double depth = state.stones[20].depth;  // moved a little before the hit
  EXPECT_DOUBLE_EQ(state.effects[0].scale, depth * depth * 3.0 / (320.0 * 320.0));
  EXPECT_EQ(state.effectSlot, 1);
  Frame(kIdle);
  EXPECT_EQ(state.score, 1);
  EXPECT_EQ(state.breakSoundRequest, 1);
  EXPECT_EQ(state.stones[20].breaking, 2);
  for (int i = 0; i < 21; ++i) Frame(kIdle);
  EXPECT_EQ(state.stones[20].breaking, 23);
  EXPECT_EQ(state.stones[20].active, 1);
  Frame(kIdle);
  EXPECT_EQ(state.stones[20].active, 0);
  EXPECT_EQ(state.score, 1);
}

TEST_F(Rules, HitsNeededByAttackTypeAndKind) {
  const int expected[3][3] = {{1, 2, 4}, {2, 4, 1}, {2, 1, 4}};
  for (int type = 0; type < 3; ++type) {
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(testing::Message() << "type " << type << " kind " << kind);
      state.attackType = type;
      state.cooldown = 0;
      Stone& s = PlaceStone(3, kind, 500, 300, 200);
      int hits = 0;
      while (s.hitPoints > 0 && hits < 10) {
        TargetStones(state, ClickAt(500, 300));
        Attack(state, ClickAt(500, 300));
        state.cooldown = 0;
        ++hits;
      }
      EXPECT_EQ(hits, expected[type][kind]);
    }
  }
}

TEST_F(Rules, ClickOnEmptySpaceDoesNothing) {
  PlaceStone(4, 0, 600, 400, 200);
  Frame(ClickAt(100, 100));
  EXPECT_EQ(state.cooldown, 0);
  EXPECT_EQ(state.attackSoundRequest, 0);
  EXPECT_EQ(state.hitFlag, 0);
  EXPECT_EQ(state.effects[0].counter, 0);
  EXPECT_EQ(state.effectSlot, 0);
  EXPECT_EQ(state.stones[4].hitPoints, 4);
  EXPECT_EQ(state.recoil, 0);
}

TEST_F(Rules, DrawOrderDecidesWhichOfTwoStonesIsHit) {
  struct Case {
    int drawOrder;
    int hitSlot;
    int missedSlot;
  };
  const Case cases[] = {{0, 20, 3}, {1, 3, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawOrder);
    PlaceStone(3, 2, 300, 300, 200);
    PlaceStone(20, 2, 302, 300, 200);
    state.drawOrder = c.drawOrder;
    state.cooldown = 0;
    TargetStones(state, ClickAt(301, 300));
    ASSERT_EQ(state.stones[3].targeted, 1);
    ASSERT_EQ(state.stones[20].targeted, 1);
    Attack(state, ClickAt(301, 300));
    EXPECT_EQ(state.stones[c.hitSlot].hitPoints, 3);
    EXPECT_EQ(state.stones[c.missedSlot].hitPoints, 4);
  }
}

TEST_F(Rules, TargetingNeedsDepthAboveNearAndAGrowingRadius) {
  struct Case {
    double depth;
    double distance;
    int hitPoints;
    int targeted;
  };
  const Case cases[] = {
      {120, 0, 4, 0}, {121, 0, 4, 1}, {121, 80.4, 4, 1}, {121, 80.5, 4, 0}, {121, 81, 4, 0},
      {200, 119.9, 4, 1}, {200, 0, 0, 0}, {200, 0, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " distance " << c.distance);
    Stone& s = PlaceStone(7, 0, 300, 250, c.depth);
    s.hitPoints = c.hitPoints;
    // The distance is taken along the x axis from the stone's centre.
    s.x = 300 - c.distance;
    TargetStones(state, PlayInput{300, 250, 0, 0});
    EXPECT_EQ(s.targeted, c.targeted);
  }
  Stone& inactive = PlaceStone(8, 0, 300, 250, 200);
  inactive.active = 0;
  TargetStones(state, PlayInput{300, 250, 0, 0});
  EXPECT_EQ(inactive.targeted, 0);
}

TEST_F(Rules, CooldownAndRecoilAfterAnAttack) {
  PlaceStone(0, 2, 300, 300, 200);  // kind 2 takes 4 hits from type 0
  Frame(ClickAt(300, 300));
  const int expectedRecoil[] = {3, 6, 9, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, -1, -2, 0};
  EXPECT_EQ(state.recoil, expectedRecoil[0]);
  for (int k = 1; k <= 18; ++k) {
    SCOPED_TRACE(k);
    // Clicks during the cool-down are refused.
    Frame(ClickAt(300, 300));
    EXPECT_EQ(state.recoil, expectedRecoil[k]);
    EXPECT_EQ(state.cooldown, k == 18 ? 0 : k + 2);
    EXPECT_EQ(state.stones[0].hitPoints, 3);
  }
  Frame(ClickAt(300, 300));
  EXPECT_EQ(state.stones[0].hitPoints, 2);
  EXPECT_EQ(state.cooldown, 2);
}

TEST_F(Rules, RightClickCyclesTheAttackType) {
  const int expected[] = {1, 2, 0, 1};
  for (int expectedType : expected) {
    state.changeSoundRequest = 0;
    ChangeAttackType(state, PlayInput{0, 0, 0, 1});
    EXPECT_EQ(state.attackType, expectedType);
    EXPECT_EQ(state.changeSoundRequest, 1);
  }
  state.changeSoundRequest = 0;
  ChangeAttackType(state, PlayInput{0, 0, 0, 2});  // held, not pressed
  EXPECT_EQ(state.attackType, 1);
  EXPECT_EQ(state.changeSoundRequest, 0);
}

TEST_F(Rules, EffectCounterRunsToTwentyFiveThenFrees) {
  state.effects[3].counter = 1;
  for (int expected = 2; expected <= 25; ++expected) {
    UpdateEffects(state);
    ASSERT_EQ(state.effects[3].counter, expected);
  }
  UpdateEffects(state);
  EXPECT_EQ(state.effects[3].counter, 0);
  UpdateEffects(state);
  EXPECT_EQ(state.effects[3].counter, 0);
}

TEST_F(Rules, TwoStonesThroughInOneFrameCostOneLife) {
  Stone& a = PlaceStone(2, 0, 400, 100, 319.9);
  Stone& b = PlaceStone(9, 1, 400, 100, 319.95);
  a.speed = b.speed = 1.0;
  Stone& bystander = PlaceStone(12, 1, 420, 200, 50);
  Frame(kIdle);
  EXPECT_EQ(a.active, 0);
  EXPECT_EQ(b.active, 0);
  EXPECT_EQ(state.lives, 2);
  EXPECT_EQ(state.damageFlag, 1);
  EXPECT_EQ(state.damageSoundRequest, 1);
  EXPECT_EQ(bystander.breaking, 1);
  const int scoreBefore = state.score;
  for (int i = 0; i < 118; ++i) Frame(kIdle);
  EXPECT_EQ(state.damageCounter, 119);
  EXPECT_EQ(state.damageFlag, 1);
  EXPECT_EQ(state.score, scoreBefore);  // blown-away stones do not score
  Frame(kIdle);
  EXPECT_EQ(state.damageCounter, 0);
  EXPECT_EQ(state.damageFlag, 0);
  EXPECT_EQ(state.lives, 2);
}

TEST_F(Rules, AttacksAreRefusedDuringDamage) {
  state.damageFlag = 1;
  state.damageCounter = 10;
  PlaceStone(1, 0, 300, 300, 200);
  TargetStones(state, ClickAt(300, 300));
  Attack(state, ClickAt(300, 300));
  EXPECT_EQ(state.stones[1].hitPoints, 4);
  EXPECT_EQ(state.cooldown, 0);
}

TEST_F(Rules, StoneThroughDuringDamageCostsNoFurtherLife) {
  state.damageFlag = 1;
  state.damageCounter = 50;
  state.lives = 2;
  Stone& s = PlaceStone(5, 0, 400, 100, 320.5);
  s.speed = 1;
  Frame(kIdle);
  EXPECT_EQ(state.lives, 2);
  EXPECT_EQ(state.damageCounter, 51);
}

// Loses the last life, then runs frames until the damage counter reads `counter`.
int LoseLastLifeAndRunTo(GameState& state, int counter) {
  state.lives = 1;
  state.damageFlag = 1;
  state.damageCounter = 0;
  int leave = 0;
  while (state.damageCounter < counter && !leave) {
    leave = UpdateGameRules(state, kIdle, ScriptedRandom);
    ++state.frame;
  }
  return leave;
}

TEST_F(Rules, GameOverLeavesAfterAClickOrTheTimeout) {
  struct Case {
    const char* name;
    int clickAtCounter;    // the damage counter after the click frame; 0 for no click
    int leaveAtCounter;    // the damage counter in the frame that leaves
  };
  const Case cases[] = {
      {"click at 120 is ignored", 120, 721 + 60},
      {"click at 121 starts the fade", 121, 121 + 60},
      {"click at 300", 300, 300 + 60},
      {"no click", 0, 721 + 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartGame(state);
    ASSERT_EQ(LoseLastLifeAndRunTo(state, 1), 0);
    EXPECT_EQ(state.lives, 0);
    int leave = 0;
    while (!leave && state.damageCounter < 2000) {
      const bool click = state.damageCounter + 1 == c.clickAtCounter;
      leave = Frame(click ? ClickAt(10, 10) : kIdle);
      if (click && c.clickAtCounter <= 120) {
        EXPECT_EQ(state.leaveFlag, 0);
      }
    }
    EXPECT_EQ(leave, 1);
    EXPECT_EQ(state.damageCounter, c.leaveAtCounter);
    EXPECT_EQ(state.leaveCounter, 61);
  }
}

TEST_F(Rules, NoSpawnAndFallingRecoilAfterTheLastLife) {
  LoseLastLifeAndRunTo(state, 5);
  state.spawnRequest = 1;
  const int recoil = state.recoil;
  Frame(kIdle);
  EXPECT_EQ(state.spawnRequest, 1);
  EXPECT_EQ(state.recoil, recoil - 1);
}

TEST_F(Rules, HighGameCountNeedsAScoreAbove255) {
  struct Case {
    int score;
    int count;
  };
  const Case cases[] = {{0, 2}, {255, 2}, {256, 3}, {1000, 3}};
  for (const Case& c : cases) EXPECT_EQ(HighGameCountAfter(2, c.score), c.count) << c.score;
}

TEST_F(Rules, HighGameCountFromAFullSaveStopsAtTheLargestInt) {
  const int most = std::numeric_limits<int>::max();
  EXPECT_EQ(HighGameCountAfter(most, 256), most);
  EXPECT_EQ(HighGameCountAfter(most - 1, 256), most);
  EXPECT_EQ(HighGameCountAfter(most, 10), most);
}

TEST_F(Rules, GameStartKeepsThePendingSpawnAndTheRecoil) {
  state.spawnRequest = 1;
  state.recoil = -7;
  state.score = 40;
  state.lives = 0;
  state.damageFlag = 1;
  state.stones[30].active = 1;
  state.effects[7].counter = 9;
  StartGame(state);
  EXPECT_EQ(state.spawnRequest, 1);
  EXPECT_EQ(state.recoil, -7);
  EXPECT_EQ(state.score, 0);
  EXPECT_EQ(state.lives, 3);
  EXPECT_EQ(state.damageFlag, 0);
  EXPECT_EQ(state.stones[30].active, 0);
  EXPECT_EQ(state.effects[7].counter, 0);
  // The pending request spawns in the first frame, whatever the draw.
  g_draws = {7, 1, 12, 0};
  g_next = 0;
  state.frame = 1;  // not a spawn point: no chance is drawn
  Frame(kIdle);
  EXPECT_EQ(state.stones[0].active, 1);
  EXPECT_EQ(state.recoil, 0);
}

TEST(GameSeed, IsThePlainSumOfTheDateFields) {
  EXPECT_EQ(GameSeed(2026, 12, 10, 1, 2, 3), 2054);
  EXPECT_EQ(GameSeed(2026, 12, 10, 1, 2, 3), GameSeed(2026, 12, 10, 3, 2, 1));
}

}  // namespace
