#include "game/resources.h"

#include "game/scenes.h"
#include "game/settings.h"

LogoResources LogoRes;
TitleResources TitleRes;
GameResources GameRes;
int GameScore = 0;
int TitleVariant = 0;

namespace {

// A failed divided load may leave the array untouched; -1 keeps later draws harmless.
void LoadDivided(const char* path, int count, int across, int down, int width, int height, GraphHandle* out) {
  for (int i = 0; i < count; ++i) out[i] = -1;
  LoadDividedGraphFile(path, count, across, down, width, height, out, 0);
}

SoundHandle LoadSound(const char* path) {
  SoundHandle sound = LoadSoundFile(path, 3, -1);
  SetSoundVolume(SoundVolume, sound);
  return sound;
}

}  // namespace

void LoadLogoResources() {
  LoadDivided("./res/img/common/kest.png", 3, 3, 1, 280, 280, LogoRes.pieces);
  LogoRes.jingle = LoadSound("./res/se/common/kest.wav");
}

void LoadTitleResources() {
  TitleRes.titles[0] = LoadGraphFile("./res/img/common/title0.png", 0);
  TitleRes.titles[1] = LoadGraphFile("./res/img/common/title1.png", 0);
  TitleRes.titles[2] = LoadGraphFile("./res/img/common/title2.png", 0);
  TitleRes.click = LoadGraphFile("./res/img/common/click.png", 0);
  TitleRes.pointer = LoadGraphFile("./res/img/common/pointer.png", 0);
  LoadDivided("./res/img/common/num_30x40.png", 10, 10, 1, 30, 40, TitleRes.smallDigits);
  LoadDivided("./res/img/common/num_60x80.png", 10, 10, 1, 60, 80, TitleRes.largeDigits);
  LoadDivided("./res/img/common/volume.png", 6, 6, 1, 80, 20, TitleRes.volume);
  TitleRes.start = LoadSound("./res/se/common/start.wav");
}

void LoadGameResources() {
  GameResources& r = GameRes;
  r.intro = LoadGraphFile("./res/img/game/intro.png", 0);
  r.background[0] = LoadGraphFile("./res/img/game/bg1.png", 0);
  r.background[1] = LoadGraphFile("./res/img/game/bg2.png", 0);
  r.background[2] = LoadGraphFile("./res/img/game/bg3.png", 0);
  r.background[3] = LoadGraphFile("./res/img/game/bg4.png", 0);
  r.noise = LoadGraphFile("./res/img/game/noiz.png", 0);
  r.gross = LoadGraphFile("./res/img/game/gross.png", 0);
  r.hudBase = LoadGraphFile("./res/img/game/uibase.png", 0);
  r.life = LoadGraphFile("./res/img/game/life.png", 0);
  r.over[0] = LoadGraphFile("./res/img/game/over1.png", 0);
  r.over[1] = LoadGraphFile("./res/img/game/over2.png", 0);
  r.over[2] = LoadGraphFile("./res/img/game/over3.png", 0);
  LoadDivided("./res/img/game/type.png", 3, 3, 1, 60, 60, r.typeIcons);
  LoadDivided("./res/img/game/gauge.png", 2, 1, 2, 256, 32, r.gauge);
  LoadDivided("./res/img/game/lock.png", 6, 3, 2, 240, 240, r.cursors);
  LoadDivided("./res/img/game/stone0.png", kStonePieces, kStonePieces, 1, 512, 512, r.stones[0]);
  LoadDivided("./res/img/game/stone1.png", kStonePieces, kStonePieces, 1, 512, 512, r.stones[1]);
  LoadDivided("./res/img/game/stone2.png", kStonePieces, kStonePieces, 1, 512, 512, r.stones[2]);
  LoadDivided("./res/img/game/efc0.png", kEffectPieces, kEffectPieces, 1, 512, 512, r.effects[0]);
  LoadDivided("./res/img/game/efc1.png", kEffectPieces, kEffectPieces, 1, 512, 512, r.effects[1]);
  LoadDivided("./res/img/game/efc2.png", kEffectPieces, kEffectPieces, 1, 512, 512, r.effects[2]);
  r.gaugeMask = LoadBlendMaskFile("./res/img/game/gaugeb.png");
  r.attack[0] = LoadSound("./res/se/game/hagane.wav");
  r.attack[1] = LoadSound("./res/se/game/kaminari.wav");
  r.attack[2] = LoadSound("./res/se/game/reitou.wav");
  r.breakSound = LoadSound("./res/se/game/get.wav");
  r.change = LoadSound("./res/se/game/change.wav");
  r.damage = LoadSound("./res/se/game/damage.wav");
  r.music = LoadSound("./res/mzk/tarvelon.wav");
  SetSoundLoopPosition(16700, r.music);
  SetSoundVolume(MusicVolume, r.music);
}
