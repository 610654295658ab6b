#include <gtest/gtest.h>

#include <vector>

#include "game/game_draw.h"
#include "game/game_rules.h"
#include "game/numbers.h"

namespace {

constexpr int kBlack = 0x000000;
constexpr int kWhite = 0xFFFFFF;

// Fake handles that tell every picture and piece apart.
GameResources FakeGame() {
  GameResources r{};
  int next = 1000;
  r.intro = next++;
  for (GraphHandle& h : r.background) h = next++;
  r.noise = next++;
  r.gross = next++;
  r.hudBase = next++;
  r.life = next++;
  for (GraphHandle& h : r.over) h = next++;
  for (GraphHandle& h : r.typeIcons) h = next++;
  for (GraphHandle& h : r.gauge) h = next++;
  for (GraphHandle& h : r.cursors) h = next++;
  for (auto& strip : r.stones)
    for (GraphHandle& h : strip) h = next++;
  for (auto& strip : r.effects)
    for (GraphHandle& h : strip) h = next++;
  r.gaugeMask = next++;
  return r;
}

const GraphHandle kDigits[10] = {500, 501, 502, 503, 504, 505, 506, 507, 508, 509};

class GameDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    state = GameState{};
    StartGame(state);
    state.frame = 100;  // past the start fade
  }

  void Build(int pointerX = 400, int pointerY = 300) {
    list.count = 0;
    BuildGameFrame(state, res, kDigits, pointerX, pointerY, kBlack, kWhite, list);
  }

  std::vector<DrawCommand> With(GraphHandle graph) const {
    std::vector<DrawCommand> found;
    for (int i = 0; i < list.count; ++i)
      if (list.items[i].graph == graph) found.push_back(list.items[i]);
    return found;
  }

  int IndexOf(GraphHandle graph) const {
    for (int i = 0; i < list.count; ++i)
      if (list.items[i].graph == graph) return i;
    return -1;
  }

  const GameResources res = FakeGame();
  GameState state;
  DrawList list;
};

TEST_F(GameDraw, LifeMarksByLives) {
  struct Case {
    int lives;
    std::vector<int> xs;
  };
  const Case cases[] = {{3, {584, 596, 608}}, {2, {584, 596}}, {1, {584}}, {0, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lives);
    state.lives = c.lives;
    Build();
    std::vector<int> xs;
    for (const DrawCommand& d : With(res.life)) {
      xs.push_back(d.x);
      EXPECT_EQ(d.y, 467);
    }
    EXPECT_EQ(xs, c.xs);
  }
}

TEST_F(GameDraw, GameOverPictureAndFadeIn) {
  struct Case {
    int score;
    int damageCounter;
    int picture;  // index into over[], -1 when none is drawn
    int blended;
    int alpha;
  };
  const Case cases[] = {
      {127, 121, 0, 1, 4},   {128, 121, 1, 1, 4},   {255, 150, 1, 1, 127},
      {256, 179, 2, 1, 250}, {256, 180, 2, 0, 0},   {0, 120, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "score " << c.score << " counter " << c.damageCounter);
    state.lives = 0;
    state.damageFlag = 1;
    state.score = c.score;
    state.damageCounter = c.damageCounter;
    Build();
    for (int i = 0; i < 3; ++i) {
      const std::vector<DrawCommand> drawn = With(res.over[i]);
      if (i != c.picture) {
        EXPECT_TRUE(drawn.empty()) << i;
        continue;
      }
      ASSERT_EQ(drawn.size(), 1u);
      EXPECT_EQ(drawn[0].x, 0);
      EXPECT_EQ(drawn[0].y, 0);
      EXPECT_EQ(drawn[0].blended, c.blended);
      if (c.blended) {
        EXPECT_EQ(drawn[0].alpha, c.alpha);
      }
    }
  }
  state.lives = 1;
  state.damageCounter = 150;
  Build();
  for (GraphHandle h : res.over) EXPECT_TRUE(With(h).empty());
}

TEST_F(GameDraw, ShakeOffsetByDamageCounter) {
  struct Case {
    int damageCounter;
    int shake;
  };
  const Case cases[] = {{1, -2}, {2, -2}, {3, 2}, {5, 2}, {6, -2}, {59, 2}, {60, 0}, {119, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damageCounter);
    state.damageFlag = 1;
    state.damageCounter = c.damageCounter;
    state.shake = 7;  // the previous frame's value
    Build();
    EXPECT_EQ(state.shake, c.shake);
    const DrawCommand hud = With(res.hudBase).at(0);
    EXPECT_EQ(hud.y, c.shake);
    EXPECT_EQ(With(res.typeIcons[0]).at(0).y, 436 + c.shake);
    // Earlier steps still use the previous frame's offset.
    EXPECT_EQ(With(res.background[0]).at(0).y, 307);
    EXPECT_EQ(With(res.background[2]).at(0).y, 300);
    EXPECT_EQ(With(res.gross).at(0).y, 359 + 7);
  }
  // Without damage the offset is left alone.
  state.damageFlag = 0;
  state.shake = 0;
  Build();
  EXPECT_EQ(state.shake, 0);
}

TEST_F(GameDraw, DamageFlashThenNoise) {
  struct Case {
    int damageCounter;
    bool flash;
    bool noise;
    int noiseAlpha;
  };
  const Case cases[] = {{1, true, true, 252}, {2, false, true, 249}, {84, false, true, 3}, {85, false, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damageCounter);
    state.damageFlag = 1;
    state.damageCounter = c.damageCounter;
    state.shake = 0;
    Build();
    int flashes = 0;
    for (int i = 0; i < list.count; ++i)
      if (list.items[i].op == kDrawScreenRect && list.items[i].color == kWhite) ++flashes;
    EXPECT_EQ(flashes, c.flash ? 1 : 0);
    const std::vector<DrawCommand> noise = With(res.noise);
    ASSERT_EQ(noise.size(), c.noise ? 1u : 0u);
    if (c.noise) {
      EXPECT_EQ(noise[0].alpha, c.noiseAlpha);
    }
  }
}

TEST_F(GameDraw, EffectPieceAndAlphaByStrengthAndCounter) {
  struct Case {
    int strength;
    int counter;
    int piece;  // -1: nothing drawn
    int alpha;
  };
  const Case cases[] = {
      {1, 2, 6, 191},  {1, 7, 8, 31},    {1, 8, 9, -1},   // clamped to 0 by the blend mode
      {2, 2, 6, 239},  {2, 23, 16, 71},  {4, 2, 6, 255},  {4, 23, 16, 255},
      {4, 24, -1, 0},  {4, 25, -1, 0},   {2, 0, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "strength " << c.strength << " counter " << c.counter);
    state.effects[5] = HitEffect{310, 220, 1, c.strength, 1.25, c.counter};
    Build();
    int drawn = 0;
    for (int i = 0; i < list.count; ++i) {
      const DrawCommand& d = list.items[i];
      for (int p = 0; p < kEffectPieces; ++p) {
        if (d.graph != res.effects[1][p]) continue;
        ++drawn;
        EXPECT_EQ(p, c.piece);
        EXPECT_EQ(d.op, kDrawRotated);
        EXPECT_EQ(d.x, 310);
        EXPECT_EQ(d.y, 220);
        EXPECT_DOUBLE_EQ(d.scale, 1.25);
        EXPECT_DOUBLE_EQ(d.angle, 0.0);
        EXPECT_EQ(d.blended, 1);
        EXPECT_EQ(d.alpha, c.alpha);
      }
    }
    EXPECT_EQ(drawn, c.piece >= 0 ? 1 : 0);
  }
}

TEST_F(GameDraw, StonesInDrawOrderWithTheirPieces) {
  auto place = [&](int slot, int kind, int breaking, int hitPoints) {
    Stone& s = state.stones[slot];
    s = Stone{};
    s.active = 1;
    s.kind = kind;
    s.breaking = breaking;
    s.hitPoints = hitPoints;
    s.cracked = hitPoints <= 2;
    s.x = 100.9 + slot;
    s.y = -3.5;
    s.alpha = 200.7;
    s.scale = 0.5;
    s.spin = 105;
  };
  place(2, 0, 0, 4);
  place(14, 1, 0, 2);
  place(17, 2, 9, 0);
  place(30, 0, 0, 3);
  struct Case {
    int drawOrder;
    std::vector<int> slots;
  };
  const Case cases[] = {{0, {14, 2, 30, 17}}, {1, {30, 17, 14, 2}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawOrder);
    state.drawOrder = c.drawOrder;
    Build();
    std::vector<int> order;
    for (int i = 0; i < list.count; ++i) {
      const DrawCommand& d = list.items[i];
      if (d.graph == res.stones[0][0] && d.x == 102) order.push_back(2);
      if (d.graph == res.stones[1][1] && d.x == 114) order.push_back(14);
      if (d.graph == res.stones[2][4] && d.x == 117) order.push_back(17);
      if (d.graph == res.stones[0][0] && d.x == 130) order.push_back(30);
    }
    EXPECT_EQ(order, c.slots);
  }
  const DrawCommand intact = With(res.stones[1][1]).at(0);
  EXPECT_EQ(intact.y, -3);
  EXPECT_EQ(intact.blended, 1);
  EXPECT_EQ(intact.alpha, 200);
  EXPECT_DOUBLE_EQ(intact.scale, 0.5);
  EXPECT_DOUBLE_EQ(intact.angle, 90 * kDegreesToRadians);
  EXPECT_EQ(With(res.stones[2][4]).at(0).blended, 0);
}

TEST_F(GameDraw, GaugeCursorAndRecoil) {
  struct Case {
    int cooldown;
    int targeted;
    int attackType;
  };
  const Case cases[] = {{0, 0, 0}, {0, 1, 2}, {5, 1, 1}, {19, 0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cooldown " << c.cooldown << " targeted " << c.targeted);
    state.cooldown = c.cooldown;
    state.attackType = c.attackType;
    state.recoil = 9;
    state.stones[31] = Stone{};
    state.stones[31].targeted = c.targeted;
    Build(500, 350);
    if (c.cooldown == 0) {
      const DrawCommand g = With(res.gauge[0]).at(0);
      EXPECT_EQ(g.op, kDrawAt);
      EXPECT_EQ(g.x, 536);
      EXPECT_EQ(g.y, 518);
      EXPECT_TRUE(With(res.gauge[1]).empty());
    } else {
      const DrawCommand g = With(res.gauge[1]).at(0);
      EXPECT_EQ(g.op, kDrawMasked);
      EXPECT_EQ(g.mask, res.gaugeMask);
      EXPECT_EQ(g.border, 260 - 12 * c.cooldown);
      EXPECT_EQ(g.range, 64);
      EXPECT_TRUE(With(res.gauge[0]).empty());
    }
    const DrawCommand cursor = With(res.cursors[c.attackType + (c.targeted ? 3 : 0)]).at(0);
    EXPECT_EQ(cursor.x, 380);
    EXPECT_EQ(cursor.y, 230);
    EXPECT_EQ(cursor.blended, c.cooldown > 0 ? 1 : 0);
    if (c.cooldown > 0) {
      EXPECT_EQ(cursor.alpha, 128);
    }
    EXPECT_EQ(state.lockedOn, 0);
    EXPECT_EQ(With(res.gross).at(0).y, 359 - 9);
    EXPECT_EQ(With(res.typeIcons[c.attackType]).at(0).x, 723);
  }
}

TEST_F(GameDraw, BackgroundLayersFoldTheirAlphaAndGrow) {
  state.phaseA = 300;
  state.phaseB = 10;
  Build();
  struct Case {
    int layer;
    int phase;
    int alpha;
  };
  // A mod 510 = 300 and (A + 255) mod 510 = 45; (B + 64) = 74 and (B + 319) = 329.
  const Case cases[] = {{0, 300, 255 - 45}, {1, 45, 45}, {2, 74, 74}, {3, 329, 255 - 74}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layer);
    const DrawCommand d = With(res.background[c.layer]).at(0);
    EXPECT_EQ(d.op, kDrawRotated);
    EXPECT_EQ(d.x, 400);
    EXPECT_EQ(d.alpha, c.alpha);
    EXPECT_DOUBLE_EQ(d.scale, 1 + c.phase * 0.002);
    EXPECT_DOUBLE_EQ(d.angle, c.phase * 0.017453292519943334 * 0.03);
  }
  // The first draw of the frame is the black clear, then the layers in order.
  EXPECT_EQ(list.items[0].op, kDrawScreenRect);
  EXPECT_EQ(list.items[0].color, kBlack);
  EXPECT_EQ(IndexOf(res.background[0]), 1);
  EXPECT_EQ(IndexOf(res.background[3]), 4);
}

TEST_F(GameDraw, ScoreLeaveAndStartFades) {
  state.score = 307;
  state.frame = 4;
  state.leaveCounter = 61;
  Build();
  const std::vector<DrawCommand> digits7 = With(kDigits[7]);
  ASSERT_EQ(digits7.size(), 1u);
  EXPECT_EQ(digits7[0].x, 105);
  EXPECT_EQ(digits7[0].y, 472);
  EXPECT_EQ(With(kDigits[3]).at(0).x, 105 - 90);
  const DrawCommand leave = list.items[list.count - 2];
  const DrawCommand start = list.items[list.count - 1];
  EXPECT_EQ(leave.op, kDrawScreenRect);
  EXPECT_EQ(leave.alpha, 259);
  EXPECT_EQ(start.op, kDrawScreenRect);
  EXPECT_EQ(start.alpha, 238);
  state.frame = 60;
  state.leaveCounter = 0;
  Build();
  EXPECT_NE(list.items[list.count - 1].op, kDrawScreenRect);
}

TEST(Numbers, DigitsRightAlignedWithOverlap) {
  struct Case {
    int value;
    int spacing;
    std::vector<int> digits;  // least significant first
    std::vector<int> xs;
  };
  const Case cases[] = {
      {1234, kSmallDigitSpacing, {4, 3, 2, 1}, {760, 737, 714, 691}},
      {0, kSmallDigitSpacing, {0}, {760}},
      {10, kLargeDigitSpacing, {0, 1}, {760, 715}},
      {9, kSmallDigitSpacing, {9}, {760}},
      {999999999, kSmallDigitSpacing, {9, 9, 9, 9, 9, 9, 9, 9, 9}, {760, 737, 714, 691, 668, 645, 622, 599, 576}},
      {-5, kSmallDigitSpacing, {0}, {760}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DrawList list;
    AddNumber(list, kDigits, c.spacing, c.value, 760, 7);
    std::vector<int> digits, xs;
    for (int i = 0; i < list.count; ++i) {
      EXPECT_EQ(list.items[i].y, 7);
      EXPECT_EQ(list.items[i].op, kDrawAt);
      digits.push_back(list.items[i].graph - kDigits[0]);
      xs.push_back(list.items[i].x);
    }
    EXPECT_EQ(digits, c.digits);
    EXPECT_EQ(xs, c.xs);
  }
}

TEST(DrawListCapacity, AFullListDropsFurtherCommands) {
  DrawList list;
  for (int i = 0; i < DrawList::kCapacity + 5; ++i) AddAt(list, i, 0, 1);
  EXPECT_EQ(list.count, DrawList::kCapacity);
  EXPECT_EQ(list.items[DrawList::kCapacity - 1].x, DrawList::kCapacity - 1);
}

}  // namespace
