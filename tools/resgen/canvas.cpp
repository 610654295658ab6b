#include "canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace resgen {

Rgba Mix(const Rgba& x, const Rgba& y, float t) {
  return Rgba{x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Rgba WithAlpha(Rgba c, float a) {
  c.a = a;
  return c;
}

Rgba Scale(Rgba c, float k) {
  c.r *= k;
  c.g *= k;
  c.b *= k;
  return c;
}

uint64_t Rng::Next() {
  s_ ^= s_ >> 12;
  s_ ^= s_ << 25;
  s_ ^= s_ >> 27;
  return s_ * 0x2545F4914F6CDD1Dull;
}

float Rng::Uniform() { return static_cast<float>((Next() >> 40) * (1.0 / 16777216.0)); }
float Rng::Range(float lo, float hi) { return lo + (hi - lo) * Uniform(); }
int Rng::Int(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }

static inline uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return h;
}

static inline float Lattice(int x, int y, uint32_t seed) { return (Hash(x, y, seed) & 0xffffff) / 16777215.0f; }

float ValueNoise(float x, float y, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  float a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
  float c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, int octaves, uint32_t seed, float gain) {
  float sum = 0, amp = 1, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise(x, y, seed + i * 1013u);
    norm += amp;
    amp *= gain;
    x = x * 2.03f + 17.1f;
    y = y * 2.03f - 9.7f;
  }
  return sum / norm;
}

Canvas::Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h * 4, 0.0f) {}

Rgba Canvas::Get(int x, int y) const {
  const float* p = At(x, y);
  if (p[3] <= 0) return Rgba{};
  return Rgba{p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
}

Rgba Canvas::Sample(float x, float y) const {
  x -= 0.5f;
  y -= 0.5f;
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  float acc[4] = {0, 0, 0, 0};
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      int sx = ix + i, sy = iy + j;
      if (sx < 0 || sy < 0 || sx >= w_ || sy >= h_) continue;
      float wgt = (i ? tx : 1 - tx) * (j ? ty : 1 - ty);
      const float* p = At(sx, sy);
      for (int k = 0; k < 4; ++k) acc[k] += p[k] * wgt;
    }
  }
  return Rgba{acc[0], acc[1], acc[2], acc[3]};
}

void Canvas::Clear(Rgba c) {
  for (size_t i = 0; i < px_.size(); i += 4) {
    px_[i] = c.r * c.a;
    px_[i + 1] = c.g * c.a;
    px_[i + 2] = c.b * c.a;
    px_[i + 3] = c.a;
  }
}

void Canvas::Blend(int x, int y, const Rgba& c, float cov) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  float a = std::clamp(c.a * cov, 0.0f, 1.0f);
  if (a <= 0) return;
  float* p = At(x, y);
  float k = 1 - a;
  p[0] = c.r * a + p[0] * k;
  p[1] = c.g * a + p[1] * k;
  p[2] = c.b * a + p[2] * k;
  p[3] = a + p[3] * k;
}

void Canvas::AddLight(int x, int y, const Rgba& c, float intensity) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_ || intensity <= 0) return;
  float* p = At(x, y);
  float k = intensity * c.a;
  p[0] = std::min(1.0f, p[0] + c.r * k);
  p[1] = std::min(1.0f, p[1] + c.g * k);
  p[2] = std::min(1.0f, p[2] + c.b * k);
  // Light on a transparent area must become visible, so coverage follows the brightest channel.
  p[3] = std::clamp(std::max({p[3], p[0], p[1], p[2]}), 0.0f, 1.0f);
}

void Canvas::Paint(int x0, int y0, int x1, int y1, const std::function<Rgba(float, float)>& f) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, w_);
  y1 = std::min(y1, h_);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      Rgba c = f(x + 0.5f, y + 0.5f);
      if (c.a > 0) Blend(x, y, c, 1.0f);
    }
}

void Canvas::FillRect(float x0, float y0, float x1, float y1, const Rgba& c) {
  Paint(static_cast<int>(std::floor(x0)), static_cast<int>(std::floor(y0)), static_cast<int>(std::ceil(x1)),
        static_cast<int>(std::ceil(y1)), [&](float x, float y) {
          float cx = std::clamp(std::min(x + 0.5f, x1) - std::max(x - 0.5f, x0), 0.0f, 1.0f);
          float cy = std::clamp(std::min(y + 0.5f, y1) - std::max(y - 0.5f, y0), 0.0f, 1.0f);
          return WithAlpha(c, c.a * cx * cy);
        });
}

void Canvas::FillCircle(float cx, float cy, float r, const Rgba& c) {
  Paint(static_cast<int>(cx - r - 2), static_cast<int>(cy - r - 2), static_cast<int>(cx + r + 2),
        static_cast<int>(cy + r + 2), [&](float x, float y) {
          float d = std::hypot(x - cx, y - cy);
          return WithAlpha(c, c.a * std::clamp(r - d + 0.5f, 0.0f, 1.0f));
        });
}

void Canvas::Ring(float cx, float cy, float r, float width, const Rgba& c) {
  float outer = r + width / 2 + 2;
  Paint(static_cast<int>(cx - outer), static_cast<int>(cy - outer), static_cast<int>(cx + outer),
        static_cast<int>(cy + outer), [&](float x, float y) {
          float d = std::fabs(std::hypot(x - cx, y - cy) - r);
          return WithAlpha(c, c.a * std::clamp(width / 2 - d + 0.5f, 0.0f, 1.0f));
        });
}

float SegmentDistance(float px, float py, float x0, float y0, float x1, float y1) {
  float dx = x1 - x0, dy = y1 - y0;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? std::clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
  return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

bool PointInPolygon(const std::vector<Vec2>& pts, float x, float y) {
  int winding = 0;
  size_t n = pts.size();
  for (size_t i = 0; i < n; ++i) {
    const Vec2& a = pts[i];
    const Vec2& b = pts[(i + 1) % n];
    float cross = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
    if (a.y <= y) {
      if (b.y > y && cross > 0) ++winding;
    } else if (b.y <= y && cross < 0) {
      --winding;
    }
  }
  return winding != 0;
}

float PolygonDistance(const std::vector<Vec2>& pts, float x, float y) {
  float best = 1e30f;
  size_t n = pts.size();
  for (size_t i = 0; i < n; ++i) {
    const Vec2& a = pts[i];
    const Vec2& b = pts[(i + 1) % n];
    best = std::min(best, SegmentDistance(x, y, a.x, a.y, b.x, b.y));
  }
  return PointInPolygon(pts, x, y) ? -best : best;
}

static void PolygonBox(const std::vector<Vec2>& pts, int& x0, int& y0, int& x1, int& y1) {
  float minx = 1e30f, miny = 1e30f, maxx = -1e30f, maxy = -1e30f;
  for (const Vec2& p : pts) {
    minx = std::min(minx, p.x);
    miny = std::min(miny, p.y);
    maxx = std::max(maxx, p.x);
    maxy = std::max(maxy, p.y);
  }
  x0 = static_cast<int>(std::floor(minx)) - 1;
  y0 = static_cast<int>(std::floor(miny)) - 1;
  x1 = static_cast<int>(std::ceil(maxx)) + 2;
  y1 = static_cast<int>(std::ceil(maxy)) + 2;
}

void Canvas::FillPolygon(const std::vector<Vec2>& pts, const Rgba& c) {
  FillPolygonShaded(pts, [&](float, float) { return c; });
}

void Canvas::FillPolygonShaded(const std::vector<Vec2>& pts, const std::function<Rgba(float, float)>& shade) {
  if (pts.size() < 3) return;
  int x0, y0, x1, y1;
  PolygonBox(pts, x0, y0, x1, y1);
  Paint(x0, y0, x1, y1, [&](float x, float y) {
    float d = PolygonDistance(pts, x, y);
    float cov = std::clamp(0.5f - d, 0.0f, 1.0f);
    if (cov <= 0) return Rgba{};
    Rgba c = shade(x, y);
    c.a *= cov;
    return c;
  });
}

void Canvas::Line(float x0, float y0, float x1, float y1, float width, const Rgba& c) {
  float m = width / 2 + 2;
  Paint(static_cast<int>(std::min(x0, x1) - m), static_cast<int>(std::min(y0, y1) - m),
        static_cast<int>(std::max(x0, x1) + m), static_cast<int>(std::max(y0, y1) + m), [&](float x, float y) {
          float d = SegmentDistance(x, y, x0, y0, x1, y1);
          return WithAlpha(c, c.a * std::clamp(width / 2 - d + 0.5f, 0.0f, 1.0f));
        });
}

void Canvas::GlowLine(float x0, float y0, float x1, float y1, float sigma, const Rgba& c, float intensity) {
  float m = sigma * 3 + 1;
  int bx0 = std::max(0, static_cast<int>(std::min(x0, x1) - m));
  int by0 = std::max(0, static_cast<int>(std::min(y0, y1) - m));
  int bx1 = std::min(w_, static_cast<int>(std::max(x0, x1) + m) + 1);
  int by1 = std::min(h_, static_cast<int>(std::max(y0, y1) + m) + 1);
  float inv = 1.0f / (2 * sigma * sigma);
  for (int y = by0; y < by1; ++y)
    for (int x = bx0; x < bx1; ++x) {
      float d = SegmentDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1);
      float k = std::exp(-d * d * inv);
      if (k > 0.004f) AddLight(x, y, c, intensity * k);
    }
}

void Canvas::GlowDot(float cx, float cy, float sigma, const Rgba& c, float intensity) {
  GlowLine(cx, cy, cx, cy, sigma, c, intensity);
}

static float RoundBoxDistance(float x, float y, float x0, float y0, float x1, float y1, float r) {
  float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  float hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
  float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
  float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.0f) - r;
}

void Canvas::RoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& c) {
  Paint(static_cast<int>(x0 - 1), static_cast<int>(y0 - 1), static_cast<int>(x1 + 2), static_cast<int>(y1 + 2),
        [&](float x, float y) {
          float d = RoundBoxDistance(x, y, x0, y0, x1, y1, radius);
          return WithAlpha(c, c.a * std::clamp(0.5f - d, 0.0f, 1.0f));
        });
}

void Canvas::RoundRectFrame(float x0, float y0, float x1, float y1, float radius, float width, const Rgba& c) {
  Paint(static_cast<int>(x0 - width - 1), static_cast<int>(y0 - width - 1), static_cast<int>(x1 + width + 2),
        static_cast<int>(y1 + width + 2), [&](float x, float y) {
          float d = std::fabs(RoundBoxDistance(x, y, x0, y0, x1, y1, radius));
          return WithAlpha(c, c.a * std::clamp(width / 2 - d + 0.5f, 0.0f, 1.0f));
        });
}

void Canvas::Draw(const Canvas& src, int dx, int dy, float k) {
  for (int y = 0; y < src.h(); ++y) {
    int ty = y + dy;
    if (ty < 0 || ty >= h_) continue;
    for (int x = 0; x < src.w(); ++x) {
      int tx = x + dx;
      if (tx < 0 || tx >= w_) continue;
      const float* s = src.At(x, y);
      float a = s[3] * k;
      if (a <= 0) continue;
      float* d = At(tx, ty);
      for (int c = 0; c < 3; ++c) d[c] = s[c] * k + d[c] * (1 - a);
      d[3] = a + d[3] * (1 - a);
    }
  }
}

void Canvas::DrawTransformed(const Canvas& src, float cx, float cy, float angle, float scale, float k) {
  float ca = std::cos(angle), sa = std::sin(angle);
  float half = 0.5f * std::hypot(static_cast<float>(src.w()), static_cast<float>(src.h())) * scale + 2;
  int x0 = std::max(0, static_cast<int>(cx - half)), x1 = std::min(w_, static_cast<int>(cx + half) + 1);
  int y0 = std::max(0, static_cast<int>(cy - half)), y1 = std::min(h_, static_cast<int>(cy + half) + 1);
  float inv = 1.0f / scale;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      float px = x + 0.5f - cx, py = y + 0.5f - cy;
      float sx = (px * ca + py * sa) * inv + src.w() / 2.0f;
      float sy = (-px * sa + py * ca) * inv + src.h() / 2.0f;
      if (sx < -1 || sy < -1 || sx > src.w() + 1 || sy > src.h() + 1) continue;
      Rgba s = src.Sample(sx, sy);
      float a = s.a * k;
      if (a <= 0) continue;
      float* d = At(x, y);
      d[0] = s.r * k + d[0] * (1 - a);
      d[1] = s.g * k + d[1] * (1 - a);
      d[2] = s.b * k + d[2] * (1 - a);
      d[3] = a + d[3] * (1 - a);
    }
}

void Canvas::BoxBlur(int radius) {
  if (radius <= 0) return;
  std::vector<float> line(std::max(w_, h_) * 4);
  float norm = 1.0f / (2 * radius + 1);
  for (int y = 0; y < h_; ++y) {
    for (int c = 0; c < 4; ++c) {
      float acc = 0;
      for (int i = -radius; i <= radius; ++i)
        if (i >= 0 && i < w_) acc += At(i, y)[c];
      for (int x = 0; x < w_; ++x) {
        line[x * 4 + c] = acc * norm;
        int add = x + radius + 1, sub = x - radius;
        if (add < w_) acc += At(add, y)[c];
        if (sub >= 0) acc -= At(sub, y)[c];
      }
    }
    for (int x = 0; x < w_; ++x)
      for (int c = 0; c < 4; ++c) At(x, y)[c] = line[x * 4 + c];
  }
  for (int x = 0; x < w_; ++x) {
    for (int c = 0; c < 4; ++c) {
      float acc = 0;
      for (int i = -radius; i <= radius; ++i)
        if (i >= 0 && i < h_) acc += At(x, i)[c];
      for (int y = 0; y < h_; ++y) {
        line[y * 4 + c] = acc * norm;
        int add = y + radius + 1, sub = y - radius;
        if (add < h_) acc += At(x, add)[c];
        if (sub >= 0) acc -= At(x, sub)[c];
      }
    }
    for (int y = 0; y < h_; ++y)
      for (int c = 0; c < 4; ++c) At(x, y)[c] = line[y * 4 + c];
  }
}

void Canvas::Blur(float radius) {
  int r = std::max(1, static_cast<int>(radius / 1.7f + 0.5f));
  for (int i = 0; i < 3; ++i) BoxBlur(r);
}

Canvas Canvas::Crop(int x, int y, int w, int h) const {
  Canvas out(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      int sx = x + i, sy = y + j;
      if (sx < 0 || sy < 0 || sx >= w_ || sy >= h_) continue;
      const float* s = At(sx, sy);
      float* d = out.At(i, j);
      for (int c = 0; c < 4; ++c) d[c] = s[c];
    }
  return out;
}

static inline png_byte ToByte(float v) {
  return static_cast<png_byte>(std::clamp(static_cast<int>(v * 255.0f + 0.5f), 0, 255));
}

bool Canvas::WritePng(const std::string& path, bool opaque) const {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  // Big, mostly empty strips: a light level keeps the build fast at little cost in size
  // (the archive packs them again anyway).
  png_set_compression_level(png, 2);
  png_set_IHDR(png, info, w_, h_, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  int channels = opaque ? 3 : 4;
  std::vector<png_byte> row(static_cast<size_t>(w_) * channels);
  for (int y = 0; y < h_; ++y) {
    for (int x = 0; x < w_; ++x) {
      const float* p = At(x, y);
      png_byte* o = &row[static_cast<size_t>(x) * channels];
      if (opaque) {
        // Premultiplied colour is the picture over black.
        o[0] = ToByte(p[0]);
        o[1] = ToByte(p[1]);
        o[2] = ToByte(p[2]);
      } else {
        float a = p[3];
        png_byte ab = ToByte(a);
        if (ab == 0) {
          o[0] = o[1] = o[2] = o[3] = 0;
        } else {
          o[0] = ToByte(p[0] / a);
          o[1] = ToByte(p[1] / a);
          o[2] = ToByte(p[2] / a);
          o[3] = ab;
        }
      }
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace resgen
