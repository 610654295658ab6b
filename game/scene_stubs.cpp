// Placeholders until the scenes are written.
#include "game/scenes.h"

void LoadLogoResources() {}
void LoadTitleResources() {}
void LoadGameResources() {}
void LogoScene() {}
void TitleScene() {}
void GameScene() {}
