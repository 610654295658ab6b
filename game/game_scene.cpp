#include "game/frame.h"
#include "game/frame_stats.h"
#include "game/game_draw.h"
#include "game/game_rules.h"
#include "game/input_hold.h"
#include "game/scenes.h"
#include "game/settings.h"

namespace {

GameState g_game;

void SeedFromDate() {
  DateTime now{};
  GetLocalDateTime(&now);
  SeedRandom(GameSeed(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second));
}

// A stop by the loop condition also stops the play loop that follows.
void RunIntro() {
  IntroState intro{0, 0};
  FrameStatsScene(kStatIntro);
  while (SceneLoopContinue()) {
    SceneFrameStart(true);
    DrawList list;
    const int ended = BuildIntroFrame(intro, GameRes.intro, GetMouseHold(1), SceneBlack, list);
    IssueDrawList(list);
    if (ended) return;
    PresentFrame();
    FrameStatsEnd();  // the intro is paced by the presentation alone
    ++intro.counter;
  }
}

}  // namespace

void GameScene() {
  GameState& game = g_game;
  SeedFromDate();
  StartGame(game);
  PointerX = 0;
  PointerY = 0;
  GameScore = 0;

  if (TitleVariant == 0) RunIntro();

  FrameStatsScene(kStatPlay);

  while (SceneLoopContinue()) {
    SceneFrameStart(true);
    const PlayInput input{PointerX, PointerY, GetMouseHold(1), GetMouseHold(2)};
    const int leave = UpdateGameRules(game, input, GetRandomInt);
    GameScore = game.score;
    if (leave) {
      HighGameCount = HighGameCountAfter(HighGameCount, game.score);
      SaveSaveData(game.score);
      return;
    }
    DrawList list;
    BuildGameFrame(game, GameRes, TitleRes.largeDigits, PointerX, PointerY, SceneBlack, SceneWhite, list);
    IssueDrawList(list);
    PresentFrame();
    PlayRequestedSounds(game, GameRes);
    SceneFrameWait();
    ++game.frame;
  }
}
