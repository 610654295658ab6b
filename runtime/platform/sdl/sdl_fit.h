// Where the game's frame goes in a window of any size: scaled with its
// proportions kept and centred, by a whole factor where one fits exactly
// (drawn with nearest pixels, so pixels stay sharp) and filtered otherwise.
#ifndef QUARNEX_RUNTIME_PLATFORM_SDL_SDL_FIT_H
#define QUARNEX_RUNTIME_PLATFORM_SDL_SDL_FIT_H

namespace qx {

struct FrameFit {
  int x, y, width, height;  // in the window's pixels, top-down
  int wholeFactor;          // 1 when width and height are whole multiples of the frame's
};

inline FrameFit FitFrame(int windowWidth, int windowHeight, int frameWidth, int frameHeight) {
  FrameFit fit = {0, 0, 0, 0, 0};
  if (windowWidth <= 0 || windowHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return fit;
  // 64-bit products: a frame scaled onto a very large surface must not wrap.
  long long w = windowWidth, h = static_cast<long long>(windowWidth) * frameHeight / frameWidth;
  if (h > windowHeight) {
    h = windowHeight;
    w = static_cast<long long>(windowHeight) * frameWidth / frameHeight;
  }
  // A whole factor a little smaller than the filtered fit keeps pixels sharp
  // at the cost of a thin border; take it when it loses at most 1/8 of the side.
  const long long factor = w / frameWidth;
  if (factor >= 1 && factor * frameWidth * 8 >= w * 7) {
    w = factor * frameWidth;
    h = factor * frameHeight;
    fit.wholeFactor = 1;
  } else if (w % frameWidth == 0 && h % frameHeight == 0) {
    fit.wholeFactor = 1;
  }
  fit.width = static_cast<int>(w);
  fit.height = static_cast<int>(h);
  fit.x = (windowWidth - fit.width) / 2;
  fit.y = (windowHeight - fit.height) / 2;
  return fit;
}

}  // namespace qx

#endif
