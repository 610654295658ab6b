// The scenes and their resource loaders.
#ifndef QUARNEX_GAME_SCENES_H
#define QUARNEX_GAME_SCENES_H

void LoadLogoResources();
void LoadTitleResources();
void LoadGameResources();
void LogoScene();
void TitleScene();
void GameScene();

#endif
