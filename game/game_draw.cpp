#include "game/game_draw.h"

#include "game/numbers.h"

namespace {

void AddBackground(const GameState& s, const GameResources& game, DrawList& list) {
  const int a = s.phaseA;
  const int b = s.phaseB + 64;
  struct Layer {
    int phase;
    int ramp;  // the alpha before folding
    int y;
  };
  const Layer layers[4] = {
      {a % 510, a % 255, 300 + s.shake},
      {(a + 255) % 510, a % 255, 300 + s.shake},
      {b % 510, b % 255, 300},
      {(s.phaseB + 319) % 510, b % 255, 300},
  };
  for (int i = 0; i < 4; ++i) {
    const Layer& layer = layers[i];
    const int alpha = layer.phase < 255 ? layer.ramp : 255 - layer.ramp;
    DrawCommand& c = AddRotated(list, 400, layer.y, 1 + layer.phase * 0.002,
                                layer.phase * kDegreesToRadians * 0.03, game.background[i]);
    WithAlpha(c, alpha);
  }
}

void AddStone(const Stone& s, const GameResources& game, DrawList& list) {
  if (!s.active) return;
  const int kind = s.kind >= 0 && s.kind < 3 ? s.kind : 0;
  const double angle = (s.spin - 15) * kDegreesToRadians;
  const int x = static_cast<int>(s.x);
  const int y = static_cast<int>(s.y);
  if (s.breaking == 0) {
    DrawCommand& c = AddRotated(list, x, y, s.scale, angle, game.stones[kind][s.cracked ? 1 : 0]);
    WithAlpha(c, static_cast<int>(s.alpha));
  } else {
    const int piece = s.breaking / 2;
    if (piece < kStonePieces) AddRotated(list, x, y, s.scale, angle, game.stones[kind][piece]);
  }
}

void AddEffects(const GameState& s, const GameResources& game, DrawList& list) {
  for (const HitEffect& e : s.effects) {
    if (e.counter <= 0) continue;
    // The last two counters fall past the strip's end and show nothing.
    const int piece = 5 + e.counter / 2;
    if (piece >= kEffectPieces || e.type < 0 || e.type > 2) continue;
    int alpha = 255;
    if (e.strength == 1) alpha = 255 - 32 * e.counter;
    if (e.strength == 2) alpha = 255 - 8 * e.counter;
    DrawCommand& c = AddRotated(list, e.x, e.y, e.scale, 0, game.effects[e.type][piece]);
    WithAlpha(c, alpha);
  }
}

}  // namespace

void BuildGameFrame(GameState& s, const GameResources& game, const GraphHandle largeDigits[10], int pointerX,
                    int pointerY, int black, int white, DrawList& list) {
  AddScreenRect(list, black);
  AddBackground(s, game, list);

  if (s.drawOrder == 0) {
    for (int i = 15; i >= 0; --i) AddStone(s.stones[i], game, list);
    for (int i = 31; i >= 16; --i) AddStone(s.stones[i], game, list);
  } else {
    for (int i = 31; i >= 0; --i) AddStone(s.stones[i], game, list);
  }

  AddAt(list, 144, 359 + s.shake - s.recoil, game.gross);
  AddEffects(s, game, list);

  if (s.damageFlag == 1) {
    if (s.damageCounter < 2) AddScreenRect(list, white);
    if (s.damageCounter < 85) WithAlpha(AddAt(list, 0, s.shake, game.noise), 255 - 3 * s.damageCounter);
    if (s.damageCounter >= 60) {
      s.shake = 0;
    } else {
      s.shake = s.damageCounter % 6 < 3 ? -2 : 2;
    }
  }

  AddAt(list, 0, s.shake, game.hudBase);
  if (s.lives > 0) AddAt(list, 584, 467 + s.shake, game.life);
  if (s.lives > 1) AddAt(list, 596, 467 + s.shake, game.life);
  if (s.lives > 2) AddAt(list, 608, 467 + s.shake, game.life);
  const int type = s.attackType >= 0 && s.attackType < 3 ? s.attackType : 0;
  AddAt(list, 723, 436 + s.shake, game.typeIcons[type]);

  if (s.cooldown == 0) {
    AddAt(list, 536, 518, game.gauge[0]);
  } else {
    AddMasked(list, 536, 518, game.gauge[1], game.gaugeMask, 260 - 12 * s.cooldown, 64);
  }

  AddNumber(list, largeDigits, kLargeDigitSpacing, s.score, 105, 472 + s.shake);

  for (int i = 0; i < kStoneSlots; ++i) {
    if (s.stones[i].targeted == 1) s.lockedOn = 1;
  }
  DrawCommand& cursor = AddAt(list, pointerX - 120, pointerY - 120, game.cursors[type + (s.lockedOn ? 3 : 0)]);
  if (s.cooldown > 0) WithAlpha(cursor, 128);
  s.lockedOn = 0;

  if (s.lives < 1 && s.damageCounter > 120) {
    const int picture = s.score > 255 ? 2 : s.score > 127 ? 1 : 0;
    DrawCommand& over = AddAt(list, 0, 0, game.over[picture]);
    if (s.damageCounter < 180) WithAlpha(over, static_cast<int>((s.damageCounter - 120) * 4.25));
  }
  if (s.leaveCounter > 0) WithAlpha(AddScreenRect(list, black), static_cast<int>(s.leaveCounter * 4.25));
  if (s.frame < 60) WithAlpha(AddScreenRect(list, black), static_cast<int>(255 - s.frame * 4.25));
}

void PlayRequestedSounds(GameState& s, const GameResources& game) {
  if (s.attackSoundRequest) {
    s.attackSoundRequest = 0;
    const int type = s.attackType >= 0 && s.attackType < 3 ? s.attackType : 0;
    PlaySoundHandle(game.attack[type], 1, 1);
  }
  if (s.breakSoundRequest) {
    s.breakSoundRequest = 0;
    PlaySoundHandle(game.breakSound, 1, 1);
  }
  if (s.changeSoundRequest) {
    s.changeSoundRequest = 0;
    PlaySoundHandle(game.change, 1, 1);
  }
  if (s.damageSoundRequest) {
    s.damageSoundRequest = 0;
    PlaySoundHandle(game.damage, 1, 1);
  }
  if (s.frame == 1) PlaySoundHandle(game.music, 3, 1);
}

int BuildIntroFrame(IntroState& intro, GraphHandle picture, int leftHold, int black, DrawList& list) {
  AddScreenRect(list, black);
  if (intro.counter < 120) {
    WithAlpha(AddAt(list, 0, 0, picture), static_cast<int>(intro.counter * 2.125));
  } else {
    AddAt(list, 0, 0, picture);
    if (leftHold == 1 || intro.counter > 3600) ++intro.fade;
  }
  if (intro.fade > 0) {
    WithAlpha(AddScreenRect(list, black), static_cast<int>(intro.fade * 2.125));
    ++intro.fade;
    if (intro.fade > 120) return 1;
  }
  return 0;
}
