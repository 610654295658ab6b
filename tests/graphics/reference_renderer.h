// A slow, plain reference of the software renderer's rules, one pixel at a
// time with 64-bit arithmetic. The fast renderer must match it byte for byte.
#ifndef QUARNEX_TESTS_GRAPHICS_REFERENCE_RENDERER_H
#define QUARNEX_TESTS_GRAPHICS_REFERENCE_RENDERER_H

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <utility>
#include <vector>

#include "runtime/graphics/memimg.h"

namespace ref {

using qx::MEMIMG;

struct Settings {
  int mode = 0;
  int param = 0;
  uint32_t brightness = 0xFFFFFF;  // 0x00RRGGBB
  uint8_t maskTable[256] = {};
  Rect area{0, 0, 0, 0};
};

inline int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if (a % b != 0 && ((a < 0) != (b < 0))) --q;
  return q;
}

inline void Clip(Rect* r, const Rect& b) {
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
  if (r->bottom > b.bottom) r->bottom = b.bottom;
  else if (r->bottom < b.top) r->bottom = b.top;
  if (r->top > b.bottom) r->top = b.bottom;
  else if (r->top < b.top) r->top = b.top;
  if (r->right > b.right) r->right = b.right;
  else if (r->right < b.left) r->right = b.left;
  if (r->left > b.right) r->left = b.right;
  else if (r->left < b.left) r->left = b.left;
}

inline int B(int i, int j) { return i * j / 255; }

// Channel layout: index 0 blue, 1 green, 2 red.
struct Layout {
  int shift[3];
  int bits[3];
};
inline Layout Lay(bool is32) {
  return is32 ? Layout{{0, 8, 16}, {8, 8, 8}} : Layout{{0, 5, 11}, {5, 6, 5}};
}

inline uint32_t GetPixel(const MEMIMG* img, int x, int y) {
  const uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch;
  int bpp = qx::MemImageBytesPerPixel(img->pixelType, img->alphaFlag, img->paletteFlag);
  if (bpp == 4) return reinterpret_cast<const uint32_t*>(row)[x];
  if (bpp == 2) return reinterpret_cast<const uint16_t*>(row)[x];
  return row[x];
}

inline void PutPixel(MEMIMG* img, int x, int y, uint32_t v) {
  uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch;
  if (img->pixelType == qx::kPixel32)
    reinterpret_cast<uint32_t*>(row)[x] = v;
  else
    reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(v);
}

// d + floor((s - d) * w1 * ... * wn / 256^n)
inline int Weighted(int d, int s, const std::vector<int>& w) {
  int64_t prod = 1, den = 1;
  for (int v : w) {
    prod *= v;
    den *= 256;
  }
  return static_cast<int>(FloorDiv(static_cast<int64_t>(d) * den + static_cast<int64_t>(s - d) * prod, den));
}

// One source pixel onto one destination pixel. mapped: rotated or otherwise
// mapped drawing (no halving shortcut, alpha weighted when trans is clear).
inline void Pixel(MEMIMG* dst, int dx, int dy, const MEMIMG* src, int sx, int sy, const MEMIMG* mask, bool trans,
                  bool mapped, const Settings& st) {
  bool is32 = dst->pixelType == qx::kPixel32;
  Layout L = Lay(is32);
  int mode = st.mode, p = st.param;
  if (mode == 1 && p == 255) mode = 0;
  uint32_t raw = GetPixel(src, sx, sy);
  uint32_t S;
  bool hasAlpha = src->alphaFlag && !src->paletteFlag;
  int a = 255;
  if (src->paletteFlag) {
    if (trans && raw == src->colorKey) return;
    S = is32 ? static_cast<const uint32_t*>(src->palette)[raw] : static_cast<const uint16_t*>(src->palette)[raw];
  } else if (hasAlpha) {
    a = is32 ? static_cast<int>(raw >> 24) : static_cast<int>((raw >> 16) & 255);
    S = is32 ? raw : (raw & 0xFFFF);
  } else {
    uint32_t key = is32 ? src->colorKey : (src->colorKey & 0xFFFF);
    if (trans && raw == key) return;
    S = raw;
  }
  int s[3], d[3];
  uint32_t D = GetPixel(dst, dx, dy);
  int br[3] = {static_cast<int>(st.brightness & 255), static_cast<int>((st.brightness >> 8) & 255),
               static_cast<int>((st.brightness >> 16) & 255)};
  for (int i = 0; i < 3; ++i) {
    int maxv = (1 << L.bits[i]) - 1;
    s[i] = static_cast<int>((S >> L.shift[i]) & maxv);
    d[i] = static_cast<int>((D >> L.shift[i]) & maxv);
    if ((st.brightness & 0xFFFFFF) != 0xFFFFFF) s[i] = B(br[i], s[i]);
  }
  uint32_t keepTop = is32 ? (D & 0xFF000000u) : 0;
  auto compose = [&](const int* c) {
    uint32_t v = 0;
    for (int i = 0; i < 3; ++i) v |= static_cast<uint32_t>(c[i]) << L.shift[i];
    return v;
  };
  int m = mask ? st.maskTable[GetPixel(mask, sx, sy)] : -1;

  // Alpha: skipped at 0 and without weight at 255 when trans is set; a weight
  // otherwise, except plain mode-0 drawing without a mask copies whole pixels.
  bool alphaWeight = false;
  if (hasAlpha) {
    if (trans) {
      if (a == 0) return;
      alphaWeight = a != 255;
    } else if (mapped || mode != 0 || mask) {
      alphaWeight = true;
    }
  }
  bool noAlphaWeightSource = !hasAlpha;
  std::vector<int> extra;  // alpha and mask weights
  if (alphaWeight) extra.push_back(a);
  if (m >= 0) extra.push_back(m);
  int out[3];
  if (mode == 0 || mode == 1) {
    if (mode == 1 && p == 128 && noAlphaWeightSource && !mask && !mapped) {
      uint32_t hm = is32 ? 0x7F7F7Fu : 0x7BEFu;
      PutPixel(dst, dx, dy, ((compose(s) >> 1) & hm) + ((D >> 1) & hm));
      return;
    }
    if (mode == 1 && !is32 && noAlphaWeightSource && !mask) {
      for (int i = 0; i < 3; ++i) out[i] = (s[i] * (p / 4) + d[i] * (63 - p / 4)) / 63;
      PutPixel(dst, dx, dy, compose(out));
      return;
    }
    std::vector<int> w;
    if (mode == 1) w.push_back(p);
    for (int v : extra) w.push_back(v);
    if (w.empty()) {
      PutPixel(dst, dx, dy, is32 ? ((S & 0xFF000000u) | compose(s)) : compose(s));
      return;
    }
    for (int i = 0; i < 3; ++i) out[i] = Weighted(d[i], s[i], w);
  } else {
    for (int i = 0; i < 3; ++i) {
      int maxv = (1 << L.bits[i]) - 1;
      if (mode == 4) {
        int t = (d[i] * s[i]) >> L.bits[i];
        out[i] = extra.empty() ? t : Weighted(d[i], t, extra);
      } else {
        int64_t v = B(p, s[i]);
        int64_t prod = 1, den = 1;
        for (int e : extra) {
          prod *= e;
          den *= 256;
        }
        v = v * prod / den;
        out[i] = mode == 2 ? static_cast<int>(d[i] + v > maxv ? maxv : d[i] + v)
                           : static_cast<int>(d[i] - v < 0 ? 0 : d[i] - v);
      }
    }
  }
  PutPixel(dst, dx, dy, keepTop | compose(out));
}

inline bool Drawable(const MEMIMG* dst, const MEMIMG* src, const MEMIMG* mask, const Settings& st) {
  if (dst->pixelType != src->pixelType) return false;
  if (dst->paletteFlag || dst->alphaFlag) return false;
  if (dst->pixelType != qx::kPixel16 && dst->pixelType != qx::kPixel32) return false;
  if (mask && (mask->width < src->width || mask->height < src->height)) return false;
  if (st.mode < 0 || st.mode > 4) return false;
  if (st.mode >= 1 && st.mode <= 3 && st.param == 0) return false;
  return true;
}

inline void DrawAt(MEMIMG* dst, const MEMIMG* src, int x, int y, bool trans, const MEMIMG* mask,
                   const Settings& st) {
  if (!Drawable(dst, src, mask, st)) return;
  Rect r{x, y, x + src->width, y + src->height};
  Clip(&r, st.area);
  for (int py = r.top; py < r.bottom; ++py)
    for (int px = r.left; px < r.right; ++px) Pixel(dst, px, py, src, px - x, py - y, mask, trans, false, st);
}

inline void DrawRotated(MEMIMG* dst, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                        const MEMIMG* mask, const Settings& st) {
  if (!Drawable(dst, src, mask, st)) return;
  const int64_t F = 262144;
  int w = src->width, h = src->height;
  int64_t cosF = static_cast<int64_t>(cosf(angle) * 262144.0f);
  int64_t sinF = static_cast<int64_t>(sinf(angle) * 262144.0f);
  int64_t hx = static_cast<int64_t>(static_cast<double>(scale) * w / 2 * F);
  int64_t hy = static_cast<int64_t>(static_cast<double>(scale) * h / 2 * F);
  int64_t xs[4], ys[4];
  int k = 0;
  for (int sxn : {-1, 1})
    for (int syn : {-1, 1}) {
      int64_t dx = sxn * hx, dy = syn * hy;
      xs[k] = x * F + FloorDiv(dx * cosF - dy * sinF, F);
      ys[k] = y * F + FloorDiv(dx * sinF + dy * cosF, F);
      ++k;
    }
  int64_t minX = xs[0], maxX = xs[0], minY = ys[0], maxY = ys[0];
  for (int i = 1; i < 4; ++i) {
    minX = xs[i] < minX ? xs[i] : minX;
    maxX = xs[i] > maxX ? xs[i] : maxX;
    minY = ys[i] < minY ? ys[i] : minY;
    maxY = ys[i] > maxY ? ys[i] : maxY;
  }
  Rect box{static_cast<int>(FloorDiv(minX, F) - 2), static_cast<int>(FloorDiv(minY, F) - 2),
           static_cast<int>(FloorDiv(maxX, F) + 4), static_cast<int>(FloorDiv(maxY, F) + 4)};
  Clip(&box, st.area);
  if (box.left == box.right || box.top == box.bottom) return;
  int64_t c = static_cast<int64_t>(cosf(angle) * 262144.0f);
  int64_t s = static_cast<int64_t>(sinf(-angle) * 262144.0f);
  float r = 1.0f / scale;
  auto sxAt = [&](int64_t L, int64_t T) {
    return static_cast<int64_t>(static_cast<double>((L - x) * c - (T - y) * s) * static_cast<double>(r)) +
           (w / 2) * F;
  };
  auto syAt = [&](int64_t L, int64_t T) {
    return static_cast<int64_t>(static_cast<double>((T - y) * c + (L - x) * s) * static_cast<double>(r)) +
           (h / 2) * F;
  };
  int64_t stepX = static_cast<int64_t>(static_cast<double>(c) * static_cast<double>(r));
  int64_t stepY = static_cast<int64_t>(static_cast<double>(s) * static_cast<double>(r));
  int64_t rows = box.bottom - box.top;
  int64_t sx0 = sxAt(box.left, box.top), sy0 = syAt(box.left, box.top);
  int64_t rowX = (sxAt(box.left, box.bottom) - sx0) / rows;
  int64_t rowY = (syAt(box.left, box.bottom) - sy0) / rows;
  for (int j = 0; j < rows; ++j) {
    int64_t sx = sx0 + j * rowX, sy = sy0 + j * rowY;
    for (int px = box.left; px < box.right; ++px) {
      if (sx >= 0 && sx < w * F && sy >= 0 && sy < h * F)
        Pixel(dst, px, box.top + j, src, static_cast<int>(sx >> 18), static_cast<int>(sy >> 18), mask, trans, true,
              st);
      sx += stepX;
      sy += stepY;
    }
  }
}

inline void Fill(MEMIMG* dst, Rect r, uint32_t color, const Settings& st) {
  if (dst->paletteFlag || dst->alphaFlag) return;
  int mode = st.mode, p = st.param;
  if (mode < 0 || mode > 4 || (mode >= 1 && mode <= 3 && p == 0)) return;
  if (mode == 1 && p == 255) mode = 0;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  Clip(&r, st.area);
  bool is32 = dst->pixelType == qx::kPixel32;
  Layout L = Lay(is32);
  int c[3], br[3] = {static_cast<int>(st.brightness & 255), static_cast<int>((st.brightness >> 8) & 255),
                     static_cast<int>((st.brightness >> 16) & 255)};
  uint32_t colorValue = color;
  for (int i = 0; i < 3; ++i) {
    int maxv = (1 << L.bits[i]) - 1;
    c[i] = static_cast<int>((color >> L.shift[i]) & maxv);
    if ((st.brightness & 0xFFFFFF) != 0xFFFFFF) {
      c[i] = c[i] * br[i] / 256;
      colorValue = (colorValue & ~(static_cast<uint32_t>(maxv) << L.shift[i])) |
                   (static_cast<uint32_t>(c[i]) << L.shift[i]);
    }
  }
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      if (mode == 0) {
        PutPixel(dst, x, y, is32 ? colorValue : (colorValue & 0xFFFF));
        continue;
      }
      uint32_t D = GetPixel(dst, x, y);
      uint32_t out = is32 ? (D & 0xFF000000u) : 0;
      for (int i = 0; i < 3; ++i) {
        int maxv = (1 << L.bits[i]) - 1;
        int d = static_cast<int>((D >> L.shift[i]) & maxv);
        int v;
        if (mode == 1)
          v = is32 ? static_cast<int>(FloorDiv(d * 256 + (c[i] - d) * p, 256)) : d + (c[i] - d) * p / 255;
        else if (mode == 2)
          v = d + B(p, c[i]) > maxv ? maxv : d + B(p, c[i]);
        else if (mode == 3)
          v = d - B(p, c[i]) < 0 ? 0 : d - B(p, c[i]);
        else
          v = (d * c[i]) >> L.bits[i];
        out |= static_cast<uint32_t>(v) << L.shift[i];
      }
      PutPixel(dst, x, y, out);
    }
}

}  // namespace ref

#endif
