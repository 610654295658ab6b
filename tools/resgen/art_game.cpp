// Play-screen pictures: background layers, noise, launcher, HUD, cursors, game over and the intro.
#include <algorithm>
#include <cmath>
#include <string>

#include "resgen.h"
#include "text.h"

namespace resgen {

Canvas Downscale(const Canvas& src, int f);

namespace {

// Layers 1 and 2: opaque nebulae, drawn turning and growing about the screen centre.
Canvas NebulaLayer(uint32_t seed) {
  Canvas c(1024, 1024);
  SpaceBackdrop(c, seed, 0.85f, 0.8f);
  // Radial streaks toward the centre give a sense of flying into the field.
  Rng rng(seed + 100);
  for (int i = 0; i < 70; ++i) {
    float a = rng.Range(0, 2 * kPi), r0 = rng.Range(150, 450), len = rng.Range(20, 80);
    c.GlowLine(512 + std::cos(a) * r0, 512 + std::sin(a) * r0, 512 + std::cos(a) * (r0 + len),
               512 + std::sin(a) * (r0 + len), 0.8f, Col(0.6f, 0.7f, 1.0f), 0.25f);
  }
  return c;
}

// Layers 3 and 4: transparent star dust and gas wisps over the nebulae.
Canvas DustLayer(uint32_t seed) {
  Canvas c(1024, 1024);
  float sc = 1.0f / 180.0f;
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) {
      float n = Fbm(x * sc, y * sc, 5, seed);
      float wisp = std::pow(std::max(0.0f, n - 0.5f) / 0.5f, 1.5f);
      if (wisp <= 0) continue;
      float hue = Fbm(x * sc * 0.5f, y * sc * 0.5f, 3, seed + 7);
      Rgba col = Mix(Col(0.2f, 0.5f, 0.9f), Col(0.8f, 0.3f, 0.7f), hue);
      c.Blend(x, y, col, std::min(0.55f, wisp * 1.6f));
    }
  Rng rng(seed + 5);
  for (int i = 0; i < 900; ++i) {
    float x = rng.Range(0, 1024), y = rng.Range(0, 1024);
    float b = std::pow(rng.Uniform(), 2.5f);
    c.GlowDot(x, y, 0.7f + 1.5f * b, rng.Uniform() < 0.3f ? Col(1, 0.9f, 0.75f) : Col(0.85f, 0.92f, 1), 0.5f + b);
  }
  return c;
}

Canvas NoiseLayer() {
  Canvas c(800, 600);
  Rng rng(42);
  for (int y = 0; y < 600; ++y) {
    // Torn scanlines: whole rows shift in brightness like a damaged feed.
    float row = 0.5f + 0.5f * rng.Uniform();
    bool tear = rng.Uniform() < 0.04f;
    for (int x = 0; x < 800; ++x) {
      float v = rng.Uniform() * row;
      float scan = (y % 3 == 0) ? 0.55f : 1.0f;
      Rgba col = Col(0.55f + 0.45f * v, 0.12f + 0.5f * v * v, 0.1f + 0.4f * v * v);
      if (tear) col = Col(1, 0.85f, 0.85f);
      c.Blend(x, y, Scale(col, scan), tear ? 0.85f : 0.45f + 0.4f * v);
    }
  }
  // Red vignette.
  c.Paint(0, 0, 800, 600, [](float x, float y) {
    float d = std::hypot((x - 400) / 400, (y - 300) / 300);
    return Col(0.8f, 0.0f, 0.05f, std::clamp((d - 0.6f) * 0.9f, 0.0f, 0.6f));
  });
  return c;
}

// The player's launcher in first person: drawn centred low in the view, kicked up by recoil.
Canvas Launcher() {
  const int f = 2;
  Canvas c(512 * f, 272 * f);
  auto P = [&](float x, float y) { return Vec2{x * f, y * f}; };
  Rgba dark = Col(0.1f, 0.12f, 0.17f), mid = Col(0.3f, 0.34f, 0.42f), light = Col(0.62f, 0.68f, 0.78f);
  auto metal = [&](float top, float bottom) {
    return [=](float x, float y) {
      float v = std::clamp((y / f - top) / (bottom - top), 0.0f, 1.0f);
      float sheen = 0.5f + 0.5f * std::cos((x / f - 256) / 70.0f);
      return Mix(Mix(light, mid, v), dark, 0.6f * v * (1 - sheen * 0.5f));
    };
  };
  // Side struts of the gauntlet, low and out of the way of stones flying past.
  c.FillPolygonShaded({P(96, 272), P(150, 196), P(186, 190), P(176, 272)}, metal(190, 272));
  c.FillPolygonShaded({P(416, 272), P(362, 196), P(326, 190), P(336, 272)}, metal(190, 272));
  // Main body narrowing to the muzzle.
  c.FillPolygonShaded({P(168, 272), P(200, 150), P(226, 104), P(286, 104), P(312, 150), P(344, 272)}, metal(104, 272));
  // Barrel and muzzle ring.
  c.FillPolygonShaded({P(236, 106), P(241, 70), P(271, 70), P(276, 106)}, metal(70, 106));
  c.RoundRect(P(230, 60).x, P(230, 60).y, P(282, 76).x, P(282, 76).y, 5 * f, Col(0.18f, 0.2f, 0.26f));
  c.RoundRectFrame(P(230, 60).x, P(230, 60).y, P(282, 76).x, P(282, 76).y, 5 * f, 1.5f * f, light);
  c.GlowDot(256 * f, 66 * f, 6 * f, Col(0.4f, 0.85f, 1.0f), 0.8f);
  // Energy core: glows through a window in the body.
  c.RoundRect(P(236, 150).x, P(236, 150).y, P(276, 206).x, P(276, 206).y, 8 * f, Col(0.02f, 0.04f, 0.08f));
  c.GlowDot(256 * f, 178 * f, 15 * f, Col(0.3f, 0.8f, 1.0f), 1.0f);
  c.GlowDot(256 * f, 178 * f, 5 * f, Col(1, 1, 1), 1.0f);
  c.RoundRectFrame(P(236, 150).x, P(236, 150).y, P(276, 206).x, P(276, 206).y, 8 * f, 2 * f, light);
  // Panel lines and rails.
  c.Line(P(222, 112).x, P(222, 112).y, P(192, 272).x, P(192, 272).y, 2 * f, Col(0.05f, 0.06f, 0.1f, 0.8f));
  c.Line(P(290, 112).x, P(290, 112).y, P(320, 272).x, P(320, 272).y, 2 * f, Col(0.05f, 0.06f, 0.1f, 0.8f));
  for (int i = 0; i < 3; ++i) {
    float y = 224 + i * 14.0f;
    c.Line(P(222, y).x, P(222, y).y, P(290, y).x, P(290, y).y, 3 * f, Col(0.06f, 0.07f, 0.1f, 0.7f));
  }
  c.Line(P(228, 106).x, P(228, 106).y, P(284, 106).x, P(284, 106).y, 2 * f, light);
  // Lights in the three type colours on the struts.
  for (int t = 0; t < 3; ++t) {
    c.FillCircle(P(150 + t * 9, 232 - t * 10).x, P(150 + t * 9, 232 - t * 10).y, 3.5f * f, TypeColor(t));
    c.FillCircle(P(362 - t * 9, 232 - t * 10).x, P(362 - t * 9, 232 - t * 10).y, 3.5f * f, TypeColor(t));
  }
  return Downscale(c, f);
}

TextStyle HudLabel(int size) {
  TextStyle st;
  st.size = size;
  st.bold = 0.6f;
  st.tracking = 2;
  st.fill = Col(0.55f, 0.85f, 1.0f);
  return st;
}

Canvas HudBase() {
  Canvas c(800, 600);
  Rgba panel = Col(0.02f, 0.05f, 0.12f, 0.78f), edge = Col(0.3f, 0.65f, 1.0f, 0.9f);
  // Score panel, bottom left; its digits end at x 165.
  std::vector<Vec2> left{{-10, 446}, {150, 446}, {186, 482}, {186, 610}, {-10, 610}};
  c.FillPolygon(left, panel);
  for (size_t i = 0; i + 1 < left.size(); ++i)
    c.Line(left[i].x, left[i].y, left[i + 1].x, left[i + 1].y, 2, edge);
  DrawText(c, "SCORE", 12, 466, Align::kLeft, HudLabel(15));
  // Status panel, bottom right: lives, attack type, charge gauge.
  std::vector<Vec2> right{{810, 424}, {560, 424}, {524, 460}, {524, 610}, {810, 610}};
  c.FillPolygon(right, panel);
  for (size_t i = 0; i + 1 < right.size(); ++i)
    c.Line(right[i].x, right[i].y, right[i + 1].x, right[i + 1].y, 2, edge);
  DrawText(c, "LIFE", 536, 487, Align::kLeft, HudLabel(15));
  // Empty cells where lost lives were.
  for (int i = 0; i < 3; ++i) {
    float x = 584 + i * 12.0f;
    c.FillPolygon({{x + 4, 467}, {x + 11, 467}, {x + 7, 491}, {x, 491}}, Col(0.1f, 0.15f, 0.25f, 0.9f));
  }
  DrawText(c, "TYPE", 714, 466, Align::kRight, HudLabel(15));
  DrawText(c, "R-CLICK", 714, 486, Align::kRight, HudLabel(11));
  c.RoundRect(719, 432, 787, 500, 8, Col(0.0f, 0.0f, 0.0f, 0.6f));
  c.RoundRectFrame(719, 432, 787, 500, 8, 2, edge);
  // Trough of the gauge.
  c.RoundRect(532, 514, 796, 554, 8, Col(0.0f, 0.0f, 0.02f, 0.85f));
  c.RoundRectFrame(532, 514, 796, 554, 8, 2, edge);
  DrawText(c, "CHARGE", 536, 575, Align::kLeft, HudLabel(13));
  // Corner brackets framing the play field.
  Rgba br = Col(0.3f, 0.65f, 1.0f, 0.6f);
  for (auto [x, y, sx, sy] : {std::tuple{8.0f, 8.0f, 1.0f, 1.0f}, std::tuple{792.0f, 8.0f, -1.0f, 1.0f}}) {
    c.Line(x, y, x + 40 * sx, y, 2, br);
    c.Line(x, y, x, y + 40 * sy, 2, br);
  }
  return c;
}

Canvas LifeMark() {
  Canvas big(48, 96);
  std::vector<Vec2> cell{{16, 0}, {44, 0}, {28, 96}, {0, 96}};
  big.FillPolygonShaded(cell, [](float, float y) { return Mix(Col(0.6f, 1.0f, 0.7f), Col(0.1f, 0.8f, 0.4f), y / 96); });
  big.Line(18, 8, 8, 88, 4, Col(1, 1, 1, 0.7f));
  return Downscale(big, 4);
}

Canvas Gauge() {
  Canvas c(256, 64);
  for (int piece = 0; piece < 2; ++piece) {
    float top = piece * 32.0f;
    Rgba a = piece == 0 ? Col(0.4f, 1.0f, 0.95f) : Col(1.0f, 0.75f, 0.25f);
    Rgba b = piece == 0 ? Col(0.05f, 0.55f, 0.95f) : Col(0.9f, 0.3f, 0.05f);
    c.Paint(0, static_cast<int>(top), 256, static_cast<int>(top) + 32, [&](float x, float y) {
      float v = (y - top - 5) / 22;
      if (v < 0 || v > 1 || x < 5 || x > 251) return Rgba{};
      Rgba col = Mix(a, b, v);
      // Segments so the bar reads as cells of charge.
      if (std::fmod(x - 5, 16.0f) > 14) col = Scale(col, 0.45f);
      if (v < 0.25f) col = Mix(col, Col(1, 1, 1), (0.25f - v) * 2);
      return col;
    });
  }
  TextStyle st;
  st.size = 16;
  st.bold = 1;
  st.tracking = 3;
  st.fill = Col(1, 1, 1);
  st.outline = 2;
  st.outlineColor = Col(0, 0.15f, 0.35f);
  DrawText(c, "READY", 128, 22, Align::kCenter, st);
  return c;
}

Canvas GaugeMask() {
  // Red channel is the blend weight: full at the left, none at the right, so the recharge wipes rightwards.
  Canvas c(256, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 256; ++x) {
      float v = (255 - x) / 255.0f;
      float* p = c.At(x, y);
      p[0] = p[1] = p[2] = v;
      p[3] = 1;
    }
  return c;
}

Canvas LockCursors() {
  Canvas c(720, 480);
  for (int locked = 0; locked < 2; ++locked)
    for (int t = 0; t < 3; ++t) {
      Canvas cell(240, 240);
      Rgba col = locked ? Col(1.0f, 0.25f, 0.25f) : TypeColor(t);
      float m = 120;
      if (!locked) {
        cell.Ring(m, m, 52, 3, WithAlpha(col, 0.9f));
        cell.Ring(m, m, 30, 1.5f, WithAlpha(col, 0.45f));
        for (int i = 0; i < 4; ++i) {
          float a = i * kPi / 2;
          cell.Line(m + std::cos(a) * 40, m + std::sin(a) * 40, m + std::cos(a) * 76, m + std::sin(a) * 76, 3, col);
        }
        cell.FillCircle(m, m, 3, col);
      } else {
        // Closed-in brackets and a filled diamond: the shot will hit.
        cell.GlowDot(m, m, 40, col, 0.35f);
        for (int i = 0; i < 4; ++i) {
          float sx = i % 2 ? 1.0f : -1.0f, sy = i / 2 ? 1.0f : -1.0f;
          float x = m + sx * 42, y = m + sy * 42;
          cell.Line(x, y, x - sx * 22, y, 5, col);
          cell.Line(x, y, x, y - sy * 22, 5, col);
        }
        cell.Ring(m, m, 28, 2.5f, WithAlpha(TypeColor(t), 0.9f));
        cell.FillPolygon({{m, m - 10}, {m + 10, m}, {m, m + 10}, {m - 10, m}}, Col(1, 1, 1));
        TextStyle st;
        st.size = 18;
        st.bold = 1;
        st.tracking = 3;
        st.fill = col;
        st.outline = 2;
        st.outlineColor = Col(0.15f, 0, 0);
        DrawText(cell, "LOCK", m, m + 76, Align::kCenter, st);
      }
      // The type's symbol colour at the corner so the player sees the active type at the aim point.
      cell.FillCircle(m + 58, m - 58, 7, TypeColor(t));
      cell.Ring(m + 58, m - 58, 7, 1.5f, Col(0, 0, 0, 0.7f));
      c.Draw(cell, t * 240, locked * 240);
    }
  return c;
}

Canvas GameOver(int rank) {
  Canvas c(800, 600);
  // A dark band leaves the HUD and its final score visible below.
  c.Paint(0, 150, 800, 430, [](float, float y) {
    float d = std::fabs(y - 290) / 140;
    return Col(0.0f, 0.0f, 0.04f, 0.78f * std::clamp((1 - d) * 4, 0.0f, 1.0f));
  });
  Rgba accent = rank == 1 ? Col(1.0f, 0.3f, 0.3f) : rank == 2 ? Col(0.8f, 0.88f, 1.0f) : Col(1.0f, 0.8f, 0.25f);
  c.Line(60, 168, 740, 168, 2, accent);
  c.Line(60, 412, 740, 412, 2, accent);
  TextStyle big;
  big.size = 84;
  big.bold = 3;
  big.tracking = 6;
  big.outline = 4;
  big.outlineColor = Col(0.05f, 0.0f, 0.05f);
  big.glow = 10;
  big.glowColor = WithAlpha(accent, 0.8f);
  big.fillFn = [accent](float, float v) { return Mix(Col(1, 1, 1), accent, std::clamp(v, 0.0f, 1.0f)); };
  DrawText(c, "GAME OVER", 400, 268, Align::kCenter, big);
  TextStyle sub;
  sub.size = 30;
  sub.bold = 1.2f;
  sub.tracking = 4;
  sub.fill = accent;
  sub.outline = 2.5f;
  sub.outlineColor = Col(0, 0, 0);
  const char* line = rank == 1 ? "The stones broke through." : rank == 2 ? "Well fought, defender!" : "Quarnex master!";
  DrawText(c, line, 400, 330, Align::kCenter, sub);
  TextStyle small;
  small.size = 18;
  small.tracking = 3;
  small.fill = Col(0.85f, 0.9f, 1);
  const char* rankText = rank == 1 ? "RANK  C" : rank == 2 ? "RANK  B   -   128 stones and more" : "RANK  S   -   256 stones and more";
  DrawText(c, rankText, 400, 370, Align::kCenter, small);
  if (rank == 3)
    for (int i = 0; i < 5; ++i) {
      float x = 250 + i * 75.0f;
      std::vector<Vec2> star;
      for (int k = 0; k < 10; ++k) {
        float a = -kPi / 2 + k * kPi / 5, r = k % 2 ? 6.0f : 14.0f;
        star.push_back({x + std::cos(a) * r, 192 + std::sin(a) * r});
      }
      c.FillPolygon(star, accent);
    }
  DrawText(c, "CLICK TO RETURN", 400, 400, Align::kCenter, HudLabel(14));
  return c;
}

Canvas Intro(const Canvas (&stones)[3]) {
  Canvas c(800, 600);
  SpaceBackdrop(c, 23, 0.45f, 0.6f);
  c.Paint(0, 0, 800, 600, [](float, float) { return Col(0, 0, 0.03f, 0.45f); });
  TextStyle head;
  head.size = 44;
  head.bold = 2;
  head.tracking = 5;
  head.fill = Col(1, 1, 1);
  head.outline = 3;
  head.outlineColor = Col(0.02f, 0.05f, 0.2f);
  head.glow = 6;
  head.glowColor = Col(0.3f, 0.65f, 1.0f, 0.8f);
  DrawText(c, "HOW TO PLAY", 400, 62, Align::kCenter, head);
  TextStyle jp;
  jp.size = 16;
  jp.tracking = 3;
  jp.fill = Col(0.7f, 0.82f, 1);
  DrawText(c, "あそびかた", 400, 86, Align::kCenter, jp);

  // Mouse with its two buttons explained.
  float mx = 150, my = 200;
  c.Line(mx, my - 66, mx + 6, my - 96, 3, Col(0.6f, 0.65f, 0.75f));
  c.RoundRect(mx - 47, my - 69, mx + 47, my + 69, 42, Col(0.1f, 0.12f, 0.2f));
  c.RoundRect(mx - 44, my - 66, mx + 44, my + 66, 40, Col(0.85f, 0.88f, 0.95f));
  c.RoundRect(mx - 40, my - 62, mx - 2, my - 8, 18, Col(1.0f, 0.55f, 0.25f));
  c.RoundRect(mx + 2, my - 62, mx + 40, my - 8, 18, Col(0.35f, 0.7f, 1.0f));
  c.Line(mx, my - 62, mx, my - 8, 2, Col(0.3f, 0.32f, 0.4f));
  TextStyle body;
  body.size = 21;
  body.bold = 0.6f;
  body.fill = Col(1, 1, 1);
  body.outline = 2;
  body.outlineColor = Col(0, 0, 0.1f);
  TextStyle key = body;
  key.size = 22;
  key.bold = 1.2f;
  key.fill = Col(1.0f, 0.62f, 0.3f);
  DrawText(c, "LEFT CLICK", 232, 160, Align::kLeft, key);
  DrawText(c, "Attack the stone under the sight", 232, 188, Align::kLeft, body);
  key.fill = Col(0.45f, 0.78f, 1.0f);
  DrawText(c, "RIGHT CLICK", 232, 230, Align::kLeft, key);
  DrawText(c, "Change the attack type", 232, 258, Align::kLeft, body);

  // Which type breaks which stone in one hit.
  TextStyle sect = key;
  sect.fill = Col(1.0f, 0.85f, 0.35f);
  DrawText(c, "ONE HIT BREAKS", 400, 322, Align::kCenter, sect);
  const char* typeNames[3] = {"STEEL", "THUNDER", "ICE"};
  const int breaks[3] = {0, 2, 1};  // the stone kind each type breaks at once
  for (int t = 0; t < 3; ++t) {
    float cx = 150 + t * 250.0f, cy = 395;
    Canvas icon = TypeIcon(t, 64);
    c.Draw(icon, static_cast<int>(cx - 92), static_cast<int>(cy - 32));
    c.FillPolygon({{cx - 18, cy - 10}, {cx + 2, cy - 10}, {cx + 2, cy - 18}, {cx + 18, cy}, {cx + 2, cy + 18},
                   {cx + 2, cy + 10}, {cx - 18, cy + 10}},
                  Col(1, 1, 1, 0.85f));
    c.DrawTransformed(stones[breaks[t]], cx + 62, cy, 0.2f, 0.28f);
    TextStyle nm = body;
    nm.size = 17;
    nm.fill = TypeColor(t);
    DrawText(c, typeNames[t], cx - 60, cy + 58, Align::kCenter, nm);
  }
  body.size = 18;
  body.fill = Col(0.85f, 0.9f, 1);
  DrawText(c, "Other stones need two or four hits. Hit them once they come close.", 400, 488, Align::kCenter, body);
  DrawText(c, "A stone that gets past you costs one of your three lives.", 400, 514, Align::kCenter, body);
  TextStyle go = head;
  go.size = 26;
  go.tracking = 5;
  DrawText(c, "CLICK TO BEGIN", 400, 568, Align::kCenter, go);
  return c;
}

}  // namespace

void MakeGameArt(Output& out) {
  Canvas stones[3];
  for (int k = 0; k < 3; ++k) stones[k] = StoneCell(k, false);
  out.Png("res/img/game/intro.png", Intro(stones), true);
  out.Png("res/img/game/bg1.png", NebulaLayer(101), true);
  out.Png("res/img/game/bg2.png", NebulaLayer(202), true);
  out.Png("res/img/game/bg3.png", DustLayer(303), false);
  out.Png("res/img/game/bg4.png", DustLayer(404), false);
  out.Png("res/img/game/noiz.png", NoiseLayer(), false);
  out.Png("res/img/game/gross.png", Launcher(), false);
  out.Png("res/img/game/uibase.png", HudBase(), false);
  out.Png("res/img/game/life.png", LifeMark(), false);
  for (int r = 1; r <= 3; ++r) out.Png("res/img/game/over" + std::to_string(r) + ".png", GameOver(r), false);
  Canvas types(180, 60);
  for (int t = 0; t < 3; ++t) types.Draw(TypeIcon(t, 60), t * 60, 0);
  out.Png("res/img/game/type.png", types, false);
  out.Png("res/img/game/gauge.png", Gauge(), false);
  out.Png("res/img/game/lock.png", LockCursors(), false);
  out.Png("res/img/game/gaugeb.png", GaugeMask(), true);
}

}  // namespace resgen
