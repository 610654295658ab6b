// Handles of the pictures and sounds each scene loads, and the values the
// title and the gameplay share.
#ifndef QUARNEX_GAME_RESOURCES_H
#define QUARNEX_GAME_RESOURCES_H

#include "runtime/runtime.h"

struct LogoResources {
  GraphHandle pieces[3];
  SoundHandle jingle;
};

struct TitleResources {
  GraphHandle titles[3];
  GraphHandle click;
  GraphHandle pointer;
  GraphHandle smallDigits[10];
  GraphHandle largeDigits[10];
  GraphHandle volume[6];
  SoundHandle start;
};

constexpr int kStonePieces = 12;
constexpr int kEffectPieces = 17;

struct GameResources {
  GraphHandle intro;
  GraphHandle background[4];
  GraphHandle noise;
  GraphHandle gross;
  GraphHandle hudBase;
  GraphHandle life;
  GraphHandle over[3];
  GraphHandle typeIcons[3];
  GraphHandle gauge[2];
  GraphHandle cursors[6];
  GraphHandle stones[3][kStonePieces];
  GraphHandle effects[3][kEffectPieces];
  GraphHandle gaugeMask;
  SoundHandle attack[3];
  SoundHandle breakSound;
  SoundHandle change;
  SoundHandle damage;
  SoundHandle music;
};

extern LogoResources LogoRes;
extern TitleResources TitleRes;
extern GameResources GameRes;

// The score of the current or last game.
extern int GameScore;
// 0 to 3 by the high score, chosen on the title; 0 shows the gameplay intro.
extern int TitleVariant;

#endif
