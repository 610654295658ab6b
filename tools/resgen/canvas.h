// Float RGBA canvases with premultiplied alpha, the drawing primitives the
// art is made of, seeded noise and PNG output.
#ifndef QUARNEX_TOOLS_RESGEN_CANVAS_H
#define QUARNEX_TOOLS_RESGEN_CANVAS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace resgen {

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied)
};

inline Rgba Col(float r, float g, float b, float a = 1.0f) { return Rgba{r, g, b, a}; }
// Colour from 0..255 components.
inline Rgba Col8(int r, int g, int b, int a = 255) {
  return Rgba{r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f};
}
Rgba Mix(const Rgba& x, const Rgba& y, float t);
Rgba WithAlpha(Rgba c, float a);
Rgba Scale(Rgba c, float k);  // colour channels times k, alpha kept

struct Vec2 {
  float x = 0, y = 0;
};

// Deterministic generator (xorshift64*): the same seed gives the same art on every build.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) { Next(); }
  uint64_t Next();
  float Uniform();                      // [0, 1)
  float Range(float lo, float hi);      // [lo, hi)
  int Int(int lo, int hi);              // [lo, hi]
 private:
  uint64_t s_;
};

// Smooth value noise in [0, 1] and its fractal sum; the lattice is seeded.
float ValueNoise(float x, float y, uint32_t seed);
float Fbm(float x, float y, int octaves, uint32_t seed, float gain = 0.5f);

class Canvas {
 public:
  Canvas() = default;
  Canvas(int w, int h);
  int w() const { return w_; }
  int h() const { return h_; }

  // Premultiplied pixel access.
  float* At(int x, int y) { return &px_[(static_cast<size_t>(y) * w_ + x) * 4]; }
  const float* At(int x, int y) const { return &px_[(static_cast<size_t>(y) * w_ + x) * 4]; }
  Rgba Get(int x, int y) const;  // straight colour
  Rgba Sample(float x, float y) const;  // bilinear, premultiplied result in Rgba fields

  void Clear(Rgba c = Rgba{});
  // Composites straight colour c with coverage `cov` over pixel (x, y).
  void Blend(int x, int y, const Rgba& c, float cov);
  // Adds light: colour times intensity, alpha raised towards opaque as well.
  void AddLight(int x, int y, const Rgba& c, float intensity);

  // Per-pixel painter over a clipped box; f returns straight colour and coverage in alpha.
  void Paint(int x0, int y0, int x1, int y1, const std::function<Rgba(float, float)>& f);

  void FillRect(float x0, float y0, float x1, float y1, const Rgba& c);
  void FillCircle(float cx, float cy, float r, const Rgba& c);
  void Ring(float cx, float cy, float r, float width, const Rgba& c);
  // Filled polygon (any winding, non-zero rule) with a one-pixel soft edge.
  void FillPolygon(const std::vector<Vec2>& pts, const Rgba& c);
  void FillPolygonShaded(const std::vector<Vec2>& pts, const std::function<Rgba(float, float)>& shade);
  void Line(float x0, float y0, float x1, float y1, float width, const Rgba& c);
  // Soft glowing stroke: intensity falls off as a Gaussian of the distance.
  void GlowLine(float x0, float y0, float x1, float y1, float sigma, const Rgba& c, float intensity);
  void GlowDot(float cx, float cy, float sigma, const Rgba& c, float intensity);
  void RoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& c);
  void RoundRectFrame(float x0, float y0, float x1, float y1, float radius, float width, const Rgba& c);

  // Draws src over this canvas with its top-left at (dx, dy), scaled by alpha k.
  void Draw(const Canvas& src, int dx, int dy, float k = 1.0f);
  // Draws src transformed: centre (cx, cy), rotation (radians) and scale, bilinear.
  void DrawTransformed(const Canvas& src, float cx, float cy, float angle, float scale, float k = 1.0f);

  void BoxBlur(int radius);
  void Blur(float radius);  // three box passes approximate a Gaussian
  Canvas Crop(int x, int y, int w, int h) const;

  // Writes 8-bit PNG: RGBA, or RGB when `opaque` (alpha dropped).
  bool WritePng(const std::string& path, bool opaque) const;

 private:
  int w_ = 0, h_ = 0;
  std::vector<float> px_;
};

// Signed distance from p to the polygon's boundary, negative inside.
float PolygonDistance(const std::vector<Vec2>& pts, float x, float y);
bool PointInPolygon(const std::vector<Vec2>& pts, float x, float y);
float SegmentDistance(float px, float py, float x0, float y0, float x1, float y1);

constexpr float kPi = 3.14159265358979323846f;

}  // namespace resgen

#endif
