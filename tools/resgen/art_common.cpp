// Logo, title pictures, click prompt, pointer, digits and volume marks.
#include <algorithm>
#include <cmath>
#include <string>

#include "resgen.h"
#include "text.h"

namespace resgen {

Canvas Downscale(const Canvas& src, int f) {
  Canvas out(src.w() / f, src.h() / f);
  float norm = 1.0f / (f * f);
  for (int y = 0; y < out.h(); ++y)
    for (int x = 0; x < out.w(); ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (int j = 0; j < f; ++j)
        for (int i = 0; i < f; ++i) {
          const float* p = src.At(x * f + i, y * f + j);
          for (int c = 0; c < 4; ++c) acc[c] += p[c];
        }
      float* d = out.At(x, y);
      for (int c = 0; c < 4; ++c) d[c] = acc[c] * norm;
    }
  return out;
}

void SpaceBackdrop(Canvas& c, uint32_t seed, float nebula, float stars) {
  Rgba deep = Col(0.012f, 0.01f, 0.035f);
  Rgba violet = Col(0.42f, 0.12f, 0.55f), blue = Col(0.08f, 0.25f, 0.6f), teal = Col(0.05f, 0.4f, 0.45f);
  float sc = 1.0f / 260.0f;
  for (int y = 0; y < c.h(); ++y)
    for (int x = 0; x < c.w(); ++x) {
      float n1 = Fbm(x * sc, y * sc, 6, seed);
      float n2 = Fbm(x * sc * 1.3f + 5, y * sc * 1.3f, 6, seed + 50);
      float n3 = Fbm(x * sc * 2.5f, y * sc * 2.5f, 5, seed + 90);
      float a = std::pow(std::max(0.0f, n1 - 0.35f) / 0.65f, 1.6f) * 1.8f;
      float b = std::pow(std::max(0.0f, n2 - 0.4f) / 0.6f, 1.8f) * 1.6f;
      float dust = std::max(0.0f, n3 - 0.55f) * 0.8f;
      Rgba col = deep;
      col.r += nebula * (violet.r * a + blue.r * b + teal.r * dust);
      col.g += nebula * (violet.g * a + blue.g * b + teal.g * dust);
      col.b += nebula * (violet.b * a + blue.b * b + teal.b * dust);
      col.a = 1;
      float* p = c.At(x, y);
      p[0] = std::min(1.0f, col.r);
      p[1] = std::min(1.0f, col.g);
      p[2] = std::min(1.0f, col.b);
      p[3] = 1;
    }
  Rng rng(seed * 7 + 3);
  int count = static_cast<int>(c.w() * c.h() / 700 * stars);
  for (int i = 0; i < count; ++i) {
    float x = rng.Range(0, static_cast<float>(c.w())), y = rng.Range(0, static_cast<float>(c.h()));
    float b = std::pow(rng.Uniform(), 3.0f);
    float hue = rng.Uniform();
    Rgba col = hue < 0.2f ? Col(1, 0.85f, 0.7f) : hue < 0.5f ? Col(0.75f, 0.85f, 1) : Col(1, 1, 1);
    c.GlowDot(x, y, 0.6f + 1.2f * b, col, 0.35f + 0.9f * b);
  }
  int big = static_cast<int>(c.w() * c.h() / 40000 * stars);
  for (int i = 0; i < big; ++i) {
    float x = rng.Range(0, static_cast<float>(c.w())), y = rng.Range(0, static_cast<float>(c.h()));
    Rgba col = rng.Uniform() < 0.5f ? Col(0.8f, 0.9f, 1) : Col(1, 0.9f, 0.8f);
    float s = rng.Range(1.5f, 3.0f);
    c.GlowDot(x, y, s * 2.5f, col, 0.5f);
    c.GlowDot(x, y, s * 0.7f, Col(1, 1, 1), 1.0f);
    c.GlowLine(x - s * 9, y, x + s * 9, y, 0.7f, col, 0.6f);
    c.GlowLine(x, y - s * 9, x, y + s * 9, 0.7f, col, 0.6f);
  }
}

namespace {

// Attack-type symbols drawn on a canvas of side s.
void DrawTypeSymbol(Canvas& c, int type, float s) {
  float m = s / 2;
  Rgba col = TypeColor(type);
  if (type == 0) {
    // A blade pointing up-right.
    float a = -kPi / 4;
    auto P = [&](float along, float across) {
      return Vec2{m + std::cos(a) * along - std::sin(a) * across, m + std::sin(a) * along + std::cos(a) * across};
    };
    std::vector<Vec2> blade{P(-0.12f * s, -0.07f * s), P(0.3f * s, -0.07f * s), P(0.4f * s, 0),
                            P(0.3f * s, 0.07f * s), P(-0.12f * s, 0.07f * s)};
    c.FillPolygonShaded(blade, [&](float x, float y) {
      float d = -(x - m) * std::sin(a) + (y - m) * std::cos(a);
      return d < 0 ? Col(1, 1, 1) : Col(0.62f, 0.68f, 0.8f);
    });
    Vec2 g0 = P(-0.12f * s, -0.16f * s), g1 = P(-0.12f * s, 0.16f * s);
    c.Line(g0.x, g0.y, g1.x, g1.y, 0.07f * s, Col(0.95f, 0.75f, 0.3f));
    Vec2 h0 = P(-0.14f * s, 0), h1 = P(-0.33f * s, 0);
    c.Line(h0.x, h0.y, h1.x, h1.y, 0.07f * s, Col(0.45f, 0.3f, 0.2f));
    c.FillCircle(h1.x, h1.y, 0.05f * s, Col(0.95f, 0.75f, 0.3f));
  } else if (type == 1) {
    std::vector<Vec2> bolt{{0.58f, 0.08f}, {0.26f, 0.54f}, {0.47f, 0.54f}, {0.36f, 0.92f},
                           {0.76f, 0.4f},  {0.54f, 0.4f},  {0.68f, 0.08f}};
    for (Vec2& p : bolt) {
      p.x *= s;
      p.y *= s;
    }
    c.FillPolygonShaded(bolt, [&](float, float y) { return Mix(Col(1, 1, 0.75f), col, y / s); });
  } else {
    for (int i = 0; i < 6; ++i) {
      float a = i * kPi / 3 + kPi / 2;
      float ex = m + std::cos(a) * 0.38f * s, ey = m + std::sin(a) * 0.38f * s;
      c.Line(m, m, ex, ey, 0.06f * s, Col(0.9f, 0.98f, 1));
      for (float f : {0.55f, 0.8f}) {
        float bx = m + std::cos(a) * 0.38f * s * f, by = m + std::sin(a) * 0.38f * s * f;
        for (float side : {-1.0f, 1.0f}) {
          float ba = a + side * 0.75f;
          c.Line(bx, by, bx + std::cos(ba) * 0.1f * s, by + std::sin(ba) * 0.1f * s, 0.045f * s, col);
        }
      }
    }
    c.FillCircle(m, m, 0.07f * s, Col(1, 1, 1));
  }
}

}  // namespace

Canvas TypeIcon(int type, int size) {
  int s = size * 4;
  Canvas c(s, s);
  Rgba col = TypeColor(type);
  float r = s * 0.18f;
  c.RoundRect(2, 2, s - 2, s - 2, r, Col(0.02f, 0.03f, 0.08f, 0.92f));
  c.Paint(0, 0, s, s, [&](float x, float y) {
    float d = std::hypot(x - s / 2.0f, y - s * 0.4f) / s;
    return WithAlpha(col, std::clamp(0.45f - d, 0.0f, 0.45f) * 0.8f);
  });
  DrawTypeSymbol(c, type, static_cast<float>(s));
  c.RoundRectFrame(s * 0.04f, s * 0.04f, s * 0.96f, s * 0.96f, r, s * 0.05f, col);
  // Clip everything to the rounded square.
  Canvas mask(s, s);
  mask.RoundRect(2, 2, s - 2, s - 2, r, Col(1, 1, 1));
  for (int y = 0; y < s; ++y)
    for (int x = 0; x < s; ++x) {
      float k = mask.At(x, y)[3];
      float* p = c.At(x, y);
      for (int i = 0; i < 4; ++i) p[i] *= k;
    }
  return Downscale(c, 4);
}

namespace {

TextStyle LogoStyle(int size, int variant) {
  TextStyle st;
  st.size = size;
  st.bold = size * 0.035f;
  st.tracking = size * 0.02f;
  st.outline = size * 0.05f;
  st.outlineColor = variant == 2 ? Col(0.25f, 0.12f, 0.0f) : Col(0.02f, 0.05f, 0.18f);
  st.glow = size * 0.12f;
  st.glowColor = variant == 2 ? Col(1.0f, 0.7f, 0.2f, 0.9f) : Col(0.3f, 0.7f, 1.0f, 0.9f);
  st.fillFn = [variant](float, float v) {
    if (variant == 2) return Mix(Col(1, 0.98f, 0.8f), Col(1.0f, 0.62f, 0.1f), std::clamp(v, 0.0f, 1.0f));
    if (v < 0.5f) return Mix(Col(1, 1, 1), Col(0.7f, 0.92f, 1.0f), v * 2);
    return Mix(Col(0.45f, 0.75f, 1.0f), Col(0.25f, 0.35f, 0.95f), (v - 0.5f) * 2);
  };
  return st;
}

void Star(Canvas& c, float cx, float cy, float r, const Rgba& col) {
  std::vector<Vec2> pts;
  for (int i = 0; i < 10; ++i) {
    float a = -kPi / 2 + i * kPi / 5;
    float rr = i % 2 ? r * 0.42f : r;
    pts.push_back({cx + std::cos(a) * rr, cy + std::sin(a) * rr});
  }
  c.FillPolygon(pts, col);
}

void Badge(Canvas& c, int variant) {
  // Silver for a veteran, gold for a master: the title shows how far the player has come.
  Rgba metal = variant == 1 ? Col(0.82f, 0.86f, 0.95f) : Col(1.0f, 0.78f, 0.22f);
  Rgba dark = variant == 1 ? Col(0.2f, 0.24f, 0.32f) : Col(0.35f, 0.2f, 0.02f);
  float cx = 74, cy = 78;
  // Ribbon tails.
  c.FillPolygon({{cx - 30, cy + 20}, {cx - 8, cy + 30}, {cx - 22, cy + 78}, {cx - 34, cy + 64}, {cx - 48, cy + 70}},
                variant == 1 ? Col(0.2f, 0.4f, 0.85f) : Col(0.85f, 0.1f, 0.15f));
  c.FillPolygon({{cx + 30, cy + 20}, {cx + 8, cy + 30}, {cx + 22, cy + 78}, {cx + 34, cy + 64}, {cx + 48, cy + 70}},
                variant == 1 ? Col(0.2f, 0.4f, 0.85f) : Col(0.85f, 0.1f, 0.15f));
  c.GlowDot(cx, cy, 40, metal, 0.5f);
  c.FillCircle(cx, cy, 46, dark);
  c.Paint(static_cast<int>(cx - 44), static_cast<int>(cy - 44), static_cast<int>(cx + 44), static_cast<int>(cy + 44),
          [&](float x, float y) {
            float d = std::hypot(x - cx, y - cy);
            float shade = 0.75f + 0.35f * (-(x - cx) - (y - cy)) / 60.0f;
            return WithAlpha(Scale(metal, shade), std::clamp(42 - d + 0.5f, 0.0f, 1.0f));
          });
  c.Ring(cx, cy, 34, 2.5f, dark);
  int stars = variant == 1 ? 1 : 3;
  for (int i = 0; i < stars; ++i) {
    float ox = stars == 1 ? 0 : (i - 1) * 19.0f;
    float oy = stars == 1 ? 0 : (i == 1 ? -6.0f : 4.0f);
    Star(c, cx + ox, cy + oy, stars == 1 ? 24 : 13, dark);
  }
  TextStyle st;
  st.size = 19;
  st.bold = 1.2f;
  st.tracking = 2;
  st.fill = metal;
  st.outline = 2.5f;
  st.outlineColor = dark;
  DrawText(c, variant == 1 ? "VETERAN" : "MASTER", cx, cy + 102, Align::kCenter, st);
  if (variant == 2) {
    // A crown over the medal.
    std::vector<Vec2> crown{{cx - 30, cy - 52}, {cx - 34, cy - 82}, {cx - 16, cy - 64}, {cx, cy - 90},
                            {cx + 16, cy - 64}, {cx + 34, cy - 82}, {cx + 30, cy - 52}};
    c.FillPolygon(crown, Col(1.0f, 0.82f, 0.25f));
    c.FillRect(cx - 30, cy - 56, cx + 30, cy - 48, Col(0.8f, 0.55f, 0.1f));
    for (float x : {-34.0f, 0.0f, 34.0f}) c.FillCircle(cx + x, cy + (x == 0 ? -92 : -84), 4, Col(0.9f, 0.15f, 0.2f));
  }
}

// Sky, core and stones shared by the three title pictures.
Canvas TitleScene(const Canvas (&stones)[3]) {
  Canvas c(800, 600);
  SpaceBackdrop(c, 11, 1.0f, 1.0f);
  // The core the stones come out of.
  c.GlowDot(400, 280, 120, Col(0.35f, 0.3f, 0.9f), 0.55f);
  c.GlowDot(400, 280, 40, Col(0.7f, 0.8f, 1.0f), 0.8f);
  for (int i = 0; i < 16; ++i) {
    float a = i * kPi / 8 + 0.1f;
    c.GlowLine(400 + std::cos(a) * 60, 280 + std::sin(a) * 60, 400 + std::cos(a) * 330, 280 + std::sin(a) * 330, 1.2f,
               Col(0.5f, 0.6f, 1.0f), 0.25f);
  }
  // Stones flying out of the core, near ones larger.
  struct Place {
    int kind;
    float x, y, scale, angle;
  } places[] = {{1, 132, 430, 0.62f, 0.3f}, {0, 690, 400, 0.5f, -0.2f}, {2, 590, 520, 0.32f, 0.8f},
                {0, 215, 300, 0.22f, 1.1f}, {2, 560, 150, 0.18f, -0.6f}, {1, 300, 120, 0.14f, 0.4f}};
  for (const Place& p : places) c.DrawTransformed(stones[p.kind], p.x, p.y, p.angle, p.scale);
  return c;
}

Canvas Title(int variant, const Canvas& scene) {
  Canvas c = scene;
  if (variant == 2) {
    // Gold frame for a master.
    c.RoundRectFrame(10, 10, 790, 590, 18, 5, Col(1.0f, 0.78f, 0.25f));
    c.RoundRectFrame(20, 20, 780, 580, 12, 1.5f, Col(1.0f, 0.85f, 0.4f, 0.7f));
  } else if (variant == 1) {
    c.RoundRectFrame(12, 12, 788, 588, 16, 3, Col(0.8f, 0.86f, 0.95f, 0.8f));
  }
  DrawText(c, "Quarnex", 400, 250, Align::kCenter, LogoStyle(118, variant));
  TextStyle sub;
  sub.size = 22;
  sub.tracking = 9;
  sub.fill = variant == 2 ? Col(1, 0.88f, 0.55f) : Col(0.75f, 0.85f, 1);
  sub.outline = 2;
  sub.outlineColor = Col(0, 0, 0.1f);
  DrawText(c, "STONE  BREAKER", 400, 292, Align::kCenter, sub);
  if (variant > 0) Badge(c, variant);

  TextStyle label;
  label.size = 20;
  label.bold = 0.8f;
  label.tracking = 2;
  label.fill = Col(1.0f, 0.85f, 0.35f);
  label.outline = 2;
  label.outlineColor = Col(0.05f, 0.02f, 0.1f);
  // The high score's digits end at x 790; the label sits left of room for six of them.
  DrawText(c, "HI-SCORE", 655, 36, Align::kRight, label);
  label.size = 15;
  label.fill = Col(0.8f, 0.85f, 1.0f);
  DrawText(c, "VOLUME  \xE2\x86\x90 \xE2\x86\x92", 6, 574, Align::kLeft, label);
  return c;
}

Canvas ClickPrompt() {
  Canvas c(800, 600);
  TextStyle st;
  st.size = 40;
  st.bold = 1.5f;
  st.tracking = 6;
  st.fill = Col(1, 1, 1);
  st.outline = 3;
  st.outlineColor = Col(0.03f, 0.06f, 0.2f);
  st.glow = 6;
  st.glowColor = Col(0.3f, 0.7f, 1.0f, 0.9f);
  DrawText(c, "CLICK TO START", 400, 468, Align::kCenter, st);
  TextStyle jp;
  jp.size = 18;
  jp.tracking = 4;
  jp.fill = Col(0.8f, 0.9f, 1);
  jp.outline = 2;
  jp.outlineColor = Col(0.03f, 0.06f, 0.2f);
  DrawText(c, "左クリックでスタート", 400, 500, Align::kCenter, jp);
  return c;
}

Canvas Pointer() {
  // The hotspot is the centre pixel (64, 64): the arrow's tip.
  const int f = 4;
  Canvas big(128 * f, 128 * f);
  std::vector<Vec2> arrow{{64, 64}, {64, 99}, {72.5f, 91}, {79, 105}, {85.5f, 102}, {79, 88.5f}, {90, 88.5f}};
  for (Vec2& p : arrow) {
    p.x *= f;
    p.y *= f;
  }
  big.GlowDot(64 * f, 64 * f, 6 * f, Col(0.3f, 0.8f, 1.0f), 0.8f);
  for (size_t i = 0; i < arrow.size(); ++i) {
    const Vec2& a = arrow[i];
    const Vec2& b = arrow[(i + 1) % arrow.size()];
    big.Line(a.x, a.y, b.x, b.y, 3.2f * f, Col(0.02f, 0.04f, 0.15f));
    big.FillCircle(a.x, a.y, 1.6f * f, Col(0.02f, 0.04f, 0.15f));
  }
  big.FillPolygonShaded(arrow, [&](float, float y) { return Mix(Col(1, 1, 1), Col(0.6f, 0.85f, 1.0f), (y / f - 64) / 40); });
  return Downscale(big, f);
}

Canvas Digits(int cw, int ch, int size, float outline, bool large) {
  Canvas c(cw * 10, ch);
  TextStyle st;
  st.size = size;
  st.bold = size * 0.04f;
  st.outline = outline;
  st.outlineColor = Col(0.02f, 0.04f, 0.16f);
  st.fillFn = [large](float, float v) {
    return large ? Mix(Col(1, 1, 1), Col(0.45f, 0.85f, 1.0f), std::clamp(v, 0.0f, 1.0f))
                 : Mix(Col(1, 1, 0.85f), Col(1.0f, 0.78f, 0.3f), std::clamp(v, 0.0f, 1.0f));
  };
  if (large) {
    st.glow = 4;
    st.glowColor = Col(0.2f, 0.55f, 1.0f, 0.7f);
  }
  // Lining digits stand about 0.72 em tall; centre that on the cell.
  float ink = size * 0.72f;
  for (int d = 0; d < 10; ++d) {
    Canvas cell(cw, ch);
    DrawText(cell, std::string(1, static_cast<char>('0' + d)), cw / 2.0f, ch / 2.0f + ink / 2, Align::kCenter, st);
    c.Draw(cell, d * cw, 0);
  }
  return c;
}

Canvas VolumeMarks() {
  Canvas c(480, 20);
  for (int v = 0; v <= 5; ++v) {
    float ox = v * 80.0f;
    Rgba spk = v == 0 ? Col(0.6f, 0.6f, 0.65f) : Col(0.9f, 0.95f, 1);
    c.FillRect(ox + 3, 7, ox + 8, 13, spk);
    c.FillPolygon({{ox + 7, 7}, {ox + 14, 2}, {ox + 14, 18}, {ox + 7, 13}}, spk);
    if (v == 0) {
      c.Line(ox + 16, 6, ox + 22, 14, 2, Col(1, 0.3f, 0.3f));
      c.Line(ox + 22, 6, ox + 16, 14, 2, Col(1, 0.3f, 0.3f));
    }
    for (int i = 0; i < 5; ++i) {
      float x0 = ox + 26 + i * 10.5f, x1 = x0 + 7.5f;
      float top = 15 - i * 3.0f;
      if (i < v) {
        Rgba col = Mix(Col(0.3f, 1.0f, 0.5f), Col(1.0f, 0.85f, 0.2f), i / 4.0f);
        c.FillRect(x0 - 1, top - 1, x1 + 1, 19, Col(0, 0, 0, 0.6f));
        c.FillRect(x0, top, x1, 18, col);
      } else {
        c.FillRect(x0, top, x1, 18, Col(0.25f, 0.28f, 0.35f, 0.85f));
      }
    }
  }
  return c;
}

Canvas LogoPieces() {
  const int f = 2;
  Canvas big(840 * f, 280 * f);
  float cx = 140 * f, cy = 140 * f;
  // Piece A: a hexagonal ring.
  auto hex = [&](float r, float ox) {
    std::vector<Vec2> pts;
    for (int i = 0; i < 6; ++i) {
      float a = kPi / 6 + i * kPi / 3;
      pts.push_back({ox + cx + std::cos(a) * r * f, cy + std::sin(a) * r * f});
    }
    return pts;
  };
  std::vector<Vec2> outer = hex(124, 0), inner = hex(96, 0);
  big.FillPolygonShaded(outer, [&](float x, float y) {
    if (PointInPolygon(inner, x, y)) return Rgba{};
    return Mix(Col(0.1f, 0.2f, 0.45f), Col(0.03f, 0.07f, 0.2f), (y - cy + 124 * f) / (248.0f * f));
  });
  // Piece B: a kestrel's swept wings round a diamond, sitting inside the ring.
  float bx = 280 * f;
  auto P = [&](float x, float y) { return Vec2{bx + cx + x * f, cy + y * f}; };
  Rgba orange0 = Col(1.0f, 0.72f, 0.2f), orange1 = Col(0.95f, 0.35f, 0.08f);
  auto grad = [&](float, float y) { return Mix(orange0, orange1, std::clamp((y - cy + 70 * f) / (140.0f * f), 0.0f, 1.0f)); };
  big.FillPolygonShaded({P(0, -70), P(34, 0), P(0, 70), P(-34, 0)}, grad);
  big.FillPolygonShaded({P(-12, -24), P(-84, -52), P(-70, -18), P(-88, 8), P(-40, 4)}, grad);
  big.FillPolygonShaded({P(12, -24), P(84, -52), P(70, -18), P(88, 8), P(40, 4)}, grad);
  big.FillPolygon({P(0, -46), P(14, 0), P(0, 46), P(-14, 0)}, Col(1, 0.95f, 0.8f));
  Canvas pieces = Downscale(big, f);
  // Piece C: the name.
  TextStyle name;
  name.size = 92;
  name.bold = 4;
  name.tracking = 4;
  name.fill = Col(0.06f, 0.12f, 0.32f);
  DrawText(pieces, "KEST", 560 + 140, 150, Align::kCenter, name);
  pieces.FillRect(560 + 22, 168, 560 + 258, 172, Col(0.95f, 0.45f, 0.1f));
  TextStyle sub;
  sub.size = 26;
  sub.tracking = 7;
  sub.bold = 0.6f;
  sub.fill = Col(0.95f, 0.45f, 0.1f);
  DrawText(pieces, "SOFTWORKS", 560 + 140, 204, Align::kCenter, sub);
  return pieces;
}

}  // namespace

void MakeCommonArt(Output& out) {
  out.Png("res/img/common/kest.png", LogoPieces(), false);
  Canvas stones[3];
  for (int k = 0; k < 3; ++k) stones[k] = StoneCell(k, false);
  Canvas scene = TitleScene(stones);
  for (int v = 0; v < 3; ++v) out.Png("res/img/common/title" + std::to_string(v) + ".png", Title(v, scene), true);
  out.Png("res/img/common/click.png", ClickPrompt(), false);
  out.Png("res/img/common/pointer.png", Pointer(), false);
  out.Png("res/img/common/num_30x40.png", Digits(30, 40, 40, 2.0f, false), false);
  out.Png("res/img/common/num_60x80.png", Digits(60, 80, 80, 3.5f, true), false);
  out.Png("res/img/common/volume.png", VolumeMarks(), false);
}

}  // namespace resgen
