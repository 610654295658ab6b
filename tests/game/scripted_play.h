// A scripted minute of the real game for the headless back end: the title
// is clicked, then the intro, then clicks around the core with a change of
// attack type now and then, and Escape. Shared by the tests and benchmarks
// that play the game through a back end of their own.
#ifndef QUARNEX_TESTS_GAME_SCRIPTED_PLAY_H
#define QUARNEX_TESTS_GAME_SCRIPTED_PLAY_H

#include <math.h>

#include <sstream>
#include <string>

namespace qxtest {

constexpr int kPlayStartClick = 330, kPlayIntroClick = 630;
// The intro fades out for 119 presented frames after its click.
constexpr int kPlayFirstFrame = kPlayIntroClick + 121;
constexpr int kPlayEscape = kPlayFirstFrame + 950;

inline std::string ScriptedPlay() {
  std::ostringstream script;
  script << "frame " << kPlayStartClick << " click left 400 300\n";
  script << "frame " << kPlayIntroClick << " click left 400 300\n";
  for (int frame = kPlayFirstFrame + 130, point = 0; frame <= kPlayFirstFrame + 700; frame += 2, ++point) {
    const int x = 400 + static_cast<int>(lround(150 * cos(point % 8 * M_PI / 4)));
    const int y = 280 + static_cast<int>(lround(150 * sin(point % 8 * M_PI / 4)));
    script << "frame " << frame << " click left " << x << " " << y << "\n";
    if (point % 24 == 23) script << "frame " << frame + 1 << " click right " << x << " " << y << "\n";
  }
  script << "frame " << kPlayEscape << " key Escape down\n";
  return script.str();
}

}  // namespace qxtest

#endif
