#include "text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace resgen {
namespace {

FT_Library g_lib = nullptr;
FT_Face g_face = nullptr;

std::vector<char32_t> Decode(const std::string& s) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1f) : n == 3 ? (c & 0x0f) : (c & 0x07);
    for (int k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
    out.push_back(cp);
    i += n;
  }
  return out;
}

struct Glyphs {
  Canvas mask;          // coverage in alpha, white colour
  int baseline = 0;     // row of the baseline inside the mask
  int originX = 0;      // column of the pen start inside the mask
  float advance = 0;
  int inkTop = 0, inkBottom = 0, inkLeft = 0, inkRight = 0;
};

bool LoadGlyph(char32_t cp, const TextStyle& st) {
  if (FT_Load_Char(g_face, cp, FT_LOAD_NO_BITMAP)) return false;
  if (st.bold > 0 && g_face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
    FT_Outline_Embolden(&g_face->glyph->outline, static_cast<FT_Pos>(st.bold * 64));
  return FT_Render_Glyph(g_face->glyph, FT_RENDER_MODE_NORMAL) == 0;
}

float Advance(const TextStyle& st) { return g_face->glyph->advance.x / 64.0f + st.bold + st.tracking; }

Glyphs Layout(const std::string& text, const TextStyle& st, int pad) {
  Glyphs g;
  FT_Set_Pixel_Sizes(g_face, 0, st.size);
  std::vector<char32_t> cps = Decode(text);
  float width = 0;
  for (char32_t cp : cps)
    if (LoadGlyph(cp, st)) width += Advance(st);
  int asc = static_cast<int>(std::ceil(g_face->size->metrics.ascender / 64.0)) + static_cast<int>(st.bold);
  int desc = static_cast<int>(std::ceil(-g_face->size->metrics.descender / 64.0)) + static_cast<int>(st.bold);
  g.mask = Canvas(static_cast<int>(std::ceil(width)) + 2 * pad + st.size, asc + desc + 2 * pad);
  g.baseline = pad + asc;
  g.originX = pad;
  g.advance = width - (cps.empty() ? 0 : st.tracking);
  g.inkTop = g.mask.h();
  g.inkLeft = g.mask.w();
  float pen = static_cast<float>(pad);
  for (char32_t cp : cps) {
    if (!LoadGlyph(cp, st)) continue;
    FT_Bitmap& bm = g_face->glyph->bitmap;
    int left = static_cast<int>(std::lround(pen)) + g_face->glyph->bitmap_left;
    int top = g.baseline - g_face->glyph->bitmap_top;
    for (unsigned int y = 0; y < bm.rows; ++y)
      for (unsigned int x = 0; x < bm.width; ++x) {
        float a = bm.buffer[y * bm.pitch + x] / 255.0f;
        int px = left + static_cast<int>(x), py = top + static_cast<int>(y);
        if (a <= 0 || px < 0 || py < 0 || px >= g.mask.w() || py >= g.mask.h()) continue;
        float* p = g.mask.At(px, py);
        float v = std::min(1.0f, p[3] + a);
        p[0] = p[1] = p[2] = p[3] = v;
        g.inkTop = std::min(g.inkTop, py);
        g.inkBottom = std::max(g.inkBottom, py + 1);
        g.inkLeft = std::min(g.inkLeft, px);
        g.inkRight = std::max(g.inkRight, px + 1);
      }
    pen += Advance(st);
  }
  if (g.inkTop >= g.inkBottom) g.inkTop = g.inkBottom = g.baseline;
  return g;
}

Canvas Dilate(const Canvas& m, float r) {
  Canvas out(m.w(), m.h());
  int ir = static_cast<int>(std::ceil(r));
  std::vector<std::pair<int, int>> offs;
  std::vector<float> wgt;
  for (int dy = -ir; dy <= ir; ++dy)
    for (int dx = -ir; dx <= ir; ++dx) {
      float d = std::hypot(static_cast<float>(dx), static_cast<float>(dy));
      float w = std::clamp(r + 0.5f - d, 0.0f, 1.0f);
      if (w > 0) {
        offs.push_back({dx, dy});
        wgt.push_back(w);
      }
    }
  for (int y = 0; y < m.h(); ++y)
    for (int x = 0; x < m.w(); ++x) {
      float best = 0;
      for (size_t i = 0; i < offs.size() && best < 1; ++i) {
        int sx = x + offs[i].first, sy = y + offs[i].second;
        if (sx < 0 || sy < 0 || sx >= m.w() || sy >= m.h()) continue;
        best = std::max(best, m.At(sx, sy)[3] * wgt[i]);
      }
      float* p = out.At(x, y);
      p[0] = p[1] = p[2] = p[3] = best;
    }
  return out;
}

// Colours a coverage mask: straight colour from fn(x, y) times the coverage.
Canvas Colour(const Canvas& m, const std::function<Rgba(int, int)>& fn) {
  Canvas out(m.w(), m.h());
  for (int y = 0; y < m.h(); ++y)
    for (int x = 0; x < m.w(); ++x) {
      float a = m.At(x, y)[3];
      if (a <= 0) continue;
      Rgba c = fn(x, y);
      float k = a * c.a;
      float* p = out.At(x, y);
      p[0] = c.r * k;
      p[1] = c.g * k;
      p[2] = c.b * k;
      p[3] = k;
    }
  return out;
}

}  // namespace

bool TextInit() {
  if (g_face) return true;
  if (!FcInit()) return false;
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>("IPAPGothic"));
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* match = FcFontMatch(nullptr, pat, &res);
  FcPatternDestroy(pat);
  FcChar8* file = nullptr;
  FcChar8* family = nullptr;
  if (!match || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    std::fprintf(stderr, "quarnex-resgen: fontconfig found no font\n");
    if (match) FcPatternDestroy(match);
    return false;
  }
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      std::string(reinterpret_cast<char*>(family)).find("IPA") == std::string::npos)
    std::fprintf(stderr, "quarnex-resgen: IPAGothic not installed, using %s\n", reinterpret_cast<char*>(family));
  bool ok = FT_Init_FreeType(&g_lib) == 0 && FT_New_Face(g_lib, reinterpret_cast<char*>(file), 0, &g_face) == 0;
  if (!ok) std::fprintf(stderr, "quarnex-resgen: cannot open font %s\n", reinterpret_cast<char*>(file));
  FcPatternDestroy(match);
  return ok;
}

void TextDone() {
  if (g_face) FT_Done_Face(g_face);
  if (g_lib) FT_Done_FreeType(g_lib);
  g_face = nullptr;
  g_lib = nullptr;
  FcFini();
}

float TextWidth(const std::string& utf8, const TextStyle& style) {
  FT_Set_Pixel_Sizes(g_face, 0, style.size);
  float width = 0;
  std::vector<char32_t> cps = Decode(utf8);
  for (char32_t cp : cps)
    if (LoadGlyph(cp, style)) width += Advance(style);
  return cps.empty() ? 0 : width - style.tracking;
}

void DrawText(Canvas& canvas, const std::string& utf8, float x, float y, Align align, const TextStyle& st) {
  int pad = static_cast<int>(std::ceil(st.outline + st.glow * 2 + st.shadow + 4));
  Glyphs g = Layout(utf8, st, pad);
  float left = x - (align == Align::kCenter ? g.advance / 2 : align == Align::kRight ? g.advance : 0);
  int dx = static_cast<int>(std::lround(left)) - g.originX;
  int dy = static_cast<int>(std::lround(y)) - g.baseline;
  Canvas body = st.outline > 0 ? Dilate(g.mask, st.outline) : g.mask;
  if (st.glow > 0) {
    Canvas glow = Colour(body, [&](int, int) { return st.glowColor; });
    glow.Blur(st.glow);
    canvas.Draw(glow, dx, dy);
  }
  if (st.shadow > 0) {
    Canvas sh = Colour(body, [&](int, int) { return st.shadowColor; });
    canvas.Draw(sh, dx + static_cast<int>(st.shadow), dy + static_cast<int>(st.shadow));
  }
  if (st.outline > 0) canvas.Draw(Colour(body, [&](int, int) { return st.outlineColor; }), dx, dy);
  float iw = std::max(1, g.inkRight - g.inkLeft), ih = std::max(1, g.inkBottom - g.inkTop);
  canvas.Draw(Colour(g.mask,
                     [&](int px, int py) {
                       if (!st.fillFn) return st.fill;
                       return st.fillFn((px - g.inkLeft) / iw, (py - g.inkTop) / ih);
                     }),
              dx, dy);
}

}  // namespace resgen
