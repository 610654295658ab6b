// Font handles over FreeType faces found by the platform. Text arrives as
// Shift-JIS (or the Korean code page) and is converted per character.
#include "runtime/graphics/font.h"

#include <ft2build.h>
#include <iconv.h>
#include <string.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include "runtime/core/alloc.h"
#include "runtime/core/cp932.h"
#include "runtime/core/handle.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/screen.h"
#include "runtime/platform/font_files.h"

namespace qx {
namespace {

constexpr int kMaxGlyphSlots = 2024;
constexpr int kMinGlyphSlots = 20;
constexpr int kCacheBytes = 327680;
// Beyond these the cache cells would take hundreds of megabytes.
constexpr int kMaxFontSize = 1024;
constexpr int kMaxEdgeSize = 16;
// The face the runtime asks for by default, and what stands in for it here.
const char kDefaultFaceName[] = "ＭＳ ゴシック";
const char kDefaultFamily[] = "IPAGothic";

struct GlyphSlot {
  int inUse;
  int code;
  int xOffset, yOffset;
  int advance;
  int width, height;  // black box
};

struct FontRecord {
  HandleRecordHeader header;
  char face[256];
  int size;
  int thickness;
  int type;
  int edgeSize;
  int italic;
  int charSet;  // 0 default, 1 Shift-JIS, 2 Hangul
  int spacing;
  FT_Face ftFace;
  int ascent, height, maxWidth;
  int cellWidth, cellHeight;
  int capacity;
  uint16_t* codeMap;  // 65536 entries: slot + 1, 0 = not cached
  GlyphSlot* slots;
  int nextSlot;
  uint8_t* cells;  // per cell: glyph levels, then edge levels (0..16 each)
  HwGlyphAtlas* atlas;  // the cells on the device, made at the first drawing there
};

struct FontSystem {
  HandleTable table;
  bool tableReady;
  FT_Library library;
  bool libraryTried;
  iconv_t hangul = reinterpret_cast<iconv_t>(-1);
  FontHandle defaultFont = -1;
  // What the default font had, so a restart makes it again the same way.
  bool rememberDefault;
  char defaultFace[256];
  int defaultSize, defaultThickness, defaultType, defaultCharSet, defaultEdge, defaultItalic;
};

FontSystem g_fs;

HandleTable& Table() {
  if (!g_fs.tableReady) {
    HandleTableInit(&g_fs.table, kHandleFont, kFontHandleMax, kSearchLowestFree, nullptr);
    g_fs.tableReady = true;
  }
  return g_fs.table;
}

FontRecord* GetFont(FontHandle font) { return HandleGet<FontRecord>(&Table(), font); }

bool StartLibrary() {
  if (!g_fs.libraryTried) {
    g_fs.libraryTried = true;
    if (FT_Init_FreeType(&g_fs.library) != 0) g_fs.library = nullptr;
    FontFilesStart();
  }
  return g_fs.library != nullptr;
}

iconv_t HangulConverter() {
  if (g_fs.hangul == reinterpret_cast<iconv_t>(-1)) g_fs.hangul = iconv_open("UTF-32LE", "CP949");
  return g_fs.hangul;
}

// Converts text of the runtime's code page to UTF-8 (face names).
void ToUtf8(const char* text, char* out, size_t outSize) { Cp932ToUtf8(text, out, outSize, 0); }

// Unicode of one character (1 or 2 bytes), or 0 when it has none.
uint32_t ToUnicode(const unsigned char* bytes, int n, int charSet) {
  if (n == 1 && bytes[0] < 0x80) return bytes[0];
  if (charSet != 2) {
    int used;
    uint32_t code = Cp932Decode(bytes, static_cast<size_t>(n), &used);
    return used == n ? code : 0;
  }
  iconv_t cd = HangulConverter();
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(bytes[0]), static_cast<char>(n == 2 ? bytes[1] : 0)};
  char* ip = in;
  size_t inLeft = static_cast<size_t>(n);
  unsigned char out[8];
  char* op = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof(out);
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1) || sizeof(out) - outLeft < 4) return 0;
  return static_cast<uint32_t>(out[0]) | static_cast<uint32_t>(out[1]) << 8 | static_cast<uint32_t>(out[2]) << 16 |
         static_cast<uint32_t>(out[3]) << 24;
}

FT_Face OpenFace(const char* familyUtf8) {
  char path[1024];
  int index = 0;
  if (!FindFontFile(familyUtf8, path, sizeof(path), &index)) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(g_fs.library, path, index, &face) != 0) return nullptr;
  return face;
}

bool IsLead(unsigned char c, int charSet) {
  if (charSet == 2) return c >= 0x80;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// One character of text: its code and how many bytes it takes. A lead byte
// at the end pairs with the terminating zero.
int NextCharacter(const unsigned char* text, int length, int i, int charSet, unsigned* code) {
  unsigned char c = text[i];
  if (IsLead(c, charSet)) {
    unsigned char second = i + 1 < length ? text[i + 1] : 0;
    *code = c | static_cast<unsigned>(second) << 8;
    return 2;
  }
  *code = c;
  return 1;
}

bool IsSpaceCode(unsigned code) { return code == 0x20 || code == 0x4081; }

// Edge masks for sizes 1 to 4; larger edges use the full square.
const char* const kEdgeMask1[] = {"010", "111", "010"};
const char* const kEdgeMask2[] = {"01110", "11111", "11111", "11111", "01110"};
const char* const kEdgeMask3[] = {"0001000", "0111110", "0111110", "1111111", "0111110", "0111110", "0001000"};
const char* const kEdgeMask4[] = {"001111100", "011111110", "111111111", "111111111", "111111111",
                                  "111111111", "111111111", "011111110", "001111100"};

bool EdgeMaskAt(int edge, int mx, int my) {
  switch (edge) {
    case 1: return kEdgeMask1[my][mx] == '1';
    case 2: return kEdgeMask2[my][mx] == '1';
    case 3: return kEdgeMask3[my][mx] == '1';
    case 4: return kEdgeMask4[my][mx] == '1';
    default: return true;
  }
}

uint8_t* CellGlyph(FontRecord* f, int slot) {
  return f->cells + static_cast<size_t>(slot) * f->cellWidth * f->cellHeight * 2;
}
uint8_t* CellEdge(FontRecord* f, int slot) { return CellGlyph(f, slot) + f->cellWidth * f->cellHeight; }

void RenderGlyph(FontRecord* f, unsigned code) {
  int slot = f->nextSlot;
  f->nextSlot = (f->nextSlot + 1) % f->capacity;
  GlyphSlot& g = f->slots[slot];
  if (g.inUse) f->codeMap[g.code] = 0;
  g = GlyphSlot{};
  g.inUse = 1;
  g.code = static_cast<int>(code);
  f->codeMap[code] = static_cast<uint16_t>(slot + 1);
  uint8_t* glyph = CellGlyph(f, slot);
  uint8_t* edge = CellEdge(f, slot);
  memset(glyph, 0, static_cast<size_t>(f->cellWidth) * f->cellHeight * 2);
  HwGlyphChanged(f->atlas, slot);

  unsigned char bytes[2] = {static_cast<unsigned char>(code & 0xFF), static_cast<unsigned char>(code >> 8)};
  int n = IsLead(bytes[0], f->charSet) ? 2 : 1;
  uint32_t unicode = ToUnicode(bytes, n, f->charSet);
  FT_UInt index = unicode ? FT_Get_Char_Index(f->ftFace, unicode) : 0;
  bool mono = (f->type & kFontAntialiasing) == 0;
  FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(f->ftFace, index, flags) != 0) FatalShutdown("GetGlyphOutline 関数が失敗しました");
  FT_GlyphSlot s = f->ftFace->glyph;
  // A weight of 600 or more without a bold face is emboldened, as the
  // platform font engine does.
  if (f->thickness * 100 >= 600 && !(f->ftFace->style_flags & FT_STYLE_FLAG_BOLD)) FT_GlyphSlot_Embolden(s);
  if (f->italic) FT_GlyphSlot_Oblique(s);
  g.advance = static_cast<int>((s->advance.x + 32) >> 6);
  if (IsSpaceCode(code)) return;
  if (FT_Render_Glyph(s, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
    FatalShutdown("GetGlyphOutline 関数が失敗しました");
  }
  const FT_Bitmap& bm = s->bitmap;
  g.xOffset = s->bitmap_left;
  g.yOffset = f->ascent - s->bitmap_top;
  g.width = static_cast<int>(bm.width);
  g.height = static_cast<int>(bm.rows);

  int e = (f->type & kFontEdge) ? f->edgeSize : 0;
  int cw = f->cellWidth, ch = f->cellHeight;
  for (int y = 0; y < g.height && y + e < ch; ++y) {
    const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
    for (int x = 0; x < g.width && x + e < cw; ++x) {
      int level;
      if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
        level = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 16 : 0;
      } else {
        level = (row[x] * 16 + 127) / 255;
      }
      if (mono && level) level = 16;
      glyph[(y + e) * cw + x + e] = static_cast<uint8_t>(level);
    }
  }
  if (!e) return;
  int side = 2 * e + 1;
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) {
      int level = glyph[y * cw + x];
      if (!level) continue;
      for (int my = 0; my < side; ++my) {
        int ey = y + my - e;
        if (ey < 0 || ey >= ch) continue;
        for (int mx = 0; mx < side; ++mx) {
          int ex = x + mx - e;
          if (ex < 0 || ex >= cw || !EdgeMaskAt(e, mx, my)) continue;
          uint8_t& old = edge[ey * cw + ex];
          if (mono) {
            old = 16;
          } else {
            // Overlapping edges add up towards full coverage.
            old = static_cast<uint8_t>((256 - (16 - old) * (16 - level)) / 16);
          }
        }
      }
    }
  }
}

GlyphSlot* Glyph(FontRecord* f, unsigned code) {
  if (!f->codeMap[code]) RenderGlyph(f, code);
  return &f->slots[f->codeMap[code] - 1];
}

// Mixes a colour into one pixel with a weight of 0..256; packed is the colour
// already in the image's layout, for the common full weight.
void BlendPixel(MEMIMG* img, int bpp, int x, int y, uint32_t rgb, uint32_t packed, int weight) {
  uint8_t* p = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch + static_cast<ptrdiff_t>(x) * bpp;
  uint32_t out = packed;
  if (weight < 256) {
    uint32_t value = bpp == 2 ? *reinterpret_cast<uint16_t*>(p) : *reinterpret_cast<uint32_t*>(p);
    int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    int dr, dg, db, da;
    UnpackColor(img->format, value, &dr, &dg, &db, &da);
    r = (r * weight + dr * (256 - weight)) >> 8;
    g = (g * weight + dg * (256 - weight)) >> 8;
    b = (b * weight + db * (256 - weight)) >> 8;
    out = PackColor(img->format, r, g, b, 255);
  }
  if (bpp == 2) {
    *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(out);
  } else {
    *reinterpret_cast<uint32_t*>(p) = out;
  }
}

uint32_t Scale(uint32_t rgb, uint32_t brightness) {
  uint32_t r = ((rgb >> 16) & 0xFF) * ((brightness >> 16) & 0xFF) / 255;
  uint32_t g = ((rgb >> 8) & 0xFF) * ((brightness >> 8) & 0xFF) / 255;
  uint32_t b = (rgb & 0xFF) * (brightness & 0xFF) / 255;
  return r << 16 | g << 8 | b;
}

void FreeFontResources(FontRecord* f) {
  HwDestroyGlyphAtlas(f->atlas);
  f->atlas = nullptr;
  if (f->ftFace) FT_Done_Face(f->ftFace);
  f->ftFace = nullptr;
  MemFree(f->codeMap);
  MemFree(f->slots);
  MemFree(f->cells);
  f->codeMap = nullptr;
  f->slots = nullptr;
  f->cells = nullptr;
}

void RememberDefaultFont() {
  FontRecord* def = GetFont(g_fs.defaultFont);
  if (!def) return;
  g_fs.rememberDefault = true;
  memcpy(g_fs.defaultFace, def->face, sizeof(g_fs.defaultFace));
  g_fs.defaultSize = def->size;
  g_fs.defaultThickness = def->thickness;
  g_fs.defaultType = def->type;
  g_fs.defaultCharSet = def->charSet;
  g_fs.defaultEdge = def->edgeSize;
  g_fs.defaultItalic = def->italic;
}

}  // namespace

FontHandle CreateFontToHandle(const char* face, int size, int thickness, int type, int charSet, int edgeSize,
                              int italic, int slot, int check) {
  if (!ScreenExists()) return -1;
  if (type == -1) type = kFontNormal;
  if (edgeSize > 1) type |= kFontEdge;
  if (edgeSize == -1) edgeSize = 1;
  // Wider edges only cost time (every glyph pixel marks a square of that
  // side), and a negative one means nothing.
  if (edgeSize > kMaxEdgeSize) edgeSize = kMaxEdgeSize;
  if (edgeSize < 0) edgeSize = 0;
  if (charSet == -1) charSet = GetWindowState().oemCodePageFlag == 2 ? 2 : 1;
  HandleTable& table = Table();
  if (slot < 0 && table.count >= kFontHandleMax) {
    LogPrintf("作成できるフォントハンドル数 %d の限界を超えました", kFontHandleMax);
    return -1;
  }
  int reuse = -1;
  if (slot >= 0) {
    if (slot >= kFontHandleMax || HandleAtSlot(&table, slot) != -1) return -1;
    reuse = slot | ((check >= 0 ? check & 2047 : table.checkCounter) | kHandleFont * 2048) * 65536;
  }
  FontHandle handle = HandleAllocate(&table, sizeof(FontRecord), reuse);
  if (handle == -1) {
    LogWrite("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  if (reuse >= 0 && check < 0) table.checkCounter = (table.checkCounter + 1) % 2048;
  FontRecord* f = GetFont(handle);
  if (ScreenColorBits() == 8) type &= ~kFontAntialiasing;
  f->size = size == -1 ? 16 : size;
  f->thickness = thickness == -1 ? 6 : thickness;
  f->type = type;
  f->edgeSize = edgeSize;
  f->italic = italic ? 1 : 0;
  f->charSet = charSet;
  if (face) {
    strncpy(f->face, face, sizeof(f->face) - 1);
  }

  bool named = f->face[0] != '\0' && strcmp(f->face, kDefaultFaceName) != 0;
  if (StartLibrary()) {
    if (named) {
      char utf8[1024];
      ToUtf8(f->face, utf8, sizeof(utf8));
      f->ftFace = OpenFace(utf8);
    }
    if (!f->ftFace && !named) f->ftFace = OpenFace(kDefaultFamily);
    if (!f->ftFace && !named) f->ftFace = OpenFace("sans-serif");
  }
  if (!f->ftFace) {
    LogWrite(named ? "指定のフォントの作成に失敗しました\n" : "フォントの作成に失敗しました\n");
    HandleRelease(&table, handle);
    return -1;
  }
  // The size is the cell height (ascent plus descent), as the platform font
  // engine takes a positive height. The default face's ascent and descent
  // fill its em square, like the face it stands in for.
  long up = f->ftFace->ascender, down = -f->ftFace->descender;
  if (up + down <= 0) {
    up = f->ftFace->units_per_EM;
    down = 0;
  }
  FT_Size_RequestRec request = {FT_SIZE_REQUEST_TYPE_NOMINAL, 0,
                                static_cast<FT_Long>(f->size) * 64 * f->ftFace->units_per_EM / (up + down), 0, 0};
  if (f->size <= 0 || f->size > kMaxFontSize || FT_Request_Size(f->ftFace, &request) != 0) {
    LogWrite("フォントの作成に失敗しました\n");
    FreeFontResources(f);
    HandleRelease(&table, handle);
    return -1;
  }
  f->ascent = static_cast<int>((f->size * up + (up + down) / 2) / (up + down));
  f->height = f->size;
  f->maxWidth = static_cast<int>((f->ftFace->size->metrics.max_advance + 32) >> 6);
  if (f->thickness * 100 >= 600) f->maxWidth += 1;

  int e = (type & kFontEdge) ? edgeSize : 0;
  f->cellWidth = (f->maxWidth + 2 + 2 * e + 7) & ~7;
  f->cellHeight = (f->height + 2 * e + 1) & ~1;
  if (f->cellHeight > f->cellWidth) f->cellWidth = f->cellHeight;
  int capacity = kCacheBytes / (f->cellWidth * f->cellWidth);
  if (capacity < kMinGlyphSlots) capacity = kMinGlyphSlots;
  if (capacity > kMaxGlyphSlots) capacity = kMaxGlyphSlots;
  f->capacity = capacity;
  f->codeMap = static_cast<uint16_t*>(MemAllocZero(sizeof(uint16_t) * 65536));
  f->slots = static_cast<GlyphSlot*>(MemAllocZero(sizeof(GlyphSlot) * capacity));
  f->cells = static_cast<uint8_t*>(MemAllocZero(static_cast<size_t>(capacity) * f->cellWidth * f->cellHeight * 2));
  if (!f->codeMap || !f->slots || !f->cells) {
    LogPrintf("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    FreeFontResources(f);
    HandleRelease(&table, handle);
    return -1;
  }
  f->nextSlot = 0;
  return handle;
}

int DeleteFontHandle(FontHandle font) {
  FontRecord* f = GetFont(font);
  if (!f) return -1;
  FreeFontResources(f);
  if (font == g_fs.defaultFont) g_fs.defaultFont = -1;
  HandleRelease(&Table(), font);
  return 0;
}

void DeleteAllFonts() {
  for (int i = 0; i < kFontHandleMax; ++i) {
    int handle = HandleAtSlot(&Table(), i);
    if (handle != -1) DeleteFontHandle(handle);
  }
}

void SetFontLostFlag(FontHandle font, int* flag) { HandleSetLostFlag(&Table(), font, flag); }

FontHandle GetDefaultFont() { return g_fs.defaultFont; }

int GetFontInfo(FontHandle font, FontInfo* out) {
  FontRecord* f = GetFont(font);
  if (!f || !out) return -1;
  *out = FontInfo{f->size,      f->thickness,  f->type,     f->edgeSize, f->italic,  f->charSet, f->spacing,
                  f->cellWidth, f->cellHeight, f->capacity, f->ascent,   f->height, f->maxWidth};
  return 0;
}

int SetFontSpacing(FontHandle font, int spacing) {
  FontRecord* f = GetFont(font);
  if (!f) return -1;
  f->spacing = spacing;
  return 0;
}

int LookUpCachedGlyph(FontHandle font, unsigned code, CachedGlyph* out) {
  FontRecord* f = GetFont(font);
  if (!f || code > 0xFFFF || !f->codeMap[code]) return -1;
  int slot = f->codeMap[code] - 1;
  const GlyphSlot& g = f->slots[slot];
  *out = CachedGlyph{slot, g.xOffset, g.yOffset, g.advance, g.width, g.height};
  return 0;
}

int GetFontStringWidth(const char* text, int length, FontHandle font) {
  FontRecord* f = GetFont(font);
  if (!f) return -1;
  if (!text) return 0;
  if (length < 0) length = static_cast<int>(strlen(text));
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  double width = 0;
  for (int i = 0; i < length;) {
    unsigned code;
    int n = NextCharacter(s, length, i, f->charSet, &code);
    width += Glyph(f, code)->advance + f->spacing;
    if (n == 2 && (code >> 8) == 0) break;
    i += n;
  }
  return static_cast<int>(width);
}

namespace {

// The glyphs as textured rectangles from the font's cells on the device,
// each character's edge and then its body, as the pixels are drawn below.
int DrawStringOnDevice(FontRecord* f, int x, int y, const char* text, uint32_t color, uint32_t edgeColor) {
  const DrawState& ds = GetDrawState();
  if (ds.drawAreaEmpty) return 0;
  const int strength = ds.blendMode == 1 ? ds.blendParam : 255;
  const int e = (f->type & kFontEdge) ? f->edgeSize : 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const int length = static_cast<int>(strlen(text));
  int pen = x;
  int result = 0;
  for (int i = 0; i < length;) {
    unsigned code;
    int n = NextCharacter(s, length, i, f->charSet, &code);
    GlyphSlot* g = Glyph(f, code);
    int slot = static_cast<int>(g - f->slots);
    if (!IsSpaceCode(code) && g->width > 0 && g->height > 0 && strength > 0) {
      const uint8_t* glyph = CellGlyph(f, slot);
      const uint8_t* edge = CellEdge(f, slot);
      const int ox = pen + g->xOffset, oy = y + g->yOffset;
      const int w = g->width + 2 * e, h = g->height + 2 * e;
      if (e && HwDrawGlyph(f->atlas, slot, glyph, edge, true, ox, oy, w, h, edgeColor, strength) != 0) result = -1;
      if (HwDrawGlyph(f->atlas, slot, glyph, edge, false, ox, oy, w, h, color, strength) != 0) result = -1;
    }
    pen += g->advance + f->spacing;
    if (n == 2 && (code >> 8) == 0) break;
    i += n;
  }
  return result;
}

}  // namespace

int DrawFontString(int x, int y, const char* text, uint32_t color, FontHandle font, uint32_t edgeColor,
                   int vertical) {
  (void)vertical;  // vertical text is laid out like horizontal text
  FontRecord* f = GetFont(font);
  if (!f) {
    LogWrite("フォントハンドル値が異常です\n");
    return -1;
  }
  if (!text || !text[0]) return 0;
  WaitWhileInactive();
  const DrawState& ds = GetDrawState();
  color = Scale(color, ds.brightness);
  edgeColor = Scale(edgeColor, ds.brightness);
  if (GetDrawTarget() == -2 && HwInUse()) {
    if (!f->atlas) f->atlas = HwCreateGlyphAtlas(f->cellWidth, f->cellHeight, f->capacity);
    // Without room on the device the text goes through the back screen's copy.
    if (f->atlas) return DrawStringOnDevice(f, x, y, text, color, edgeColor);
  }
  MEMIMG* target = GetDrawTargetImage();
  if (!target || ds.drawAreaEmpty || target->paletteFlag || target->pixelType > kPixel32) return 0;
  int bpp = MemImageBytesPerPixel(target->pixelType, target->alphaFlag, target->paletteFlag);
  int left = ds.drawLeft > 0 ? ds.drawLeft : 0;
  int top = ds.drawTop > 0 ? ds.drawTop : 0;
  int right = ds.drawRight < target->width ? ds.drawRight : target->width;
  int bottom = ds.drawBottom < target->height ? ds.drawBottom : target->height;
  // Alpha blending weakens the glyphs; every other mode draws them solid.
  int strength = ds.blendMode == 1 ? ds.blendParam : 255;
  int e = (f->type & kFontEdge) ? f->edgeSize : 0;
  uint32_t packedColor = PackColor(target->format, (color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF, 255);
  uint32_t packedEdge =
      PackColor(target->format, (edgeColor >> 16) & 0xFF, (edgeColor >> 8) & 0xFF, edgeColor & 0xFF, 255);

  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  int length = static_cast<int>(strlen(text));
  int pen = x;
  for (int i = 0; i < length;) {
    unsigned code;
    int n = NextCharacter(s, length, i, f->charSet, &code);
    GlyphSlot* g = Glyph(f, code);
    int slot = static_cast<int>(g - f->slots);
    if (!IsSpaceCode(code) && g->width > 0 && g->height > 0 && strength > 0) {
      const uint8_t* glyph = CellGlyph(f, slot);
      const uint8_t* edge = CellEdge(f, slot);
      int ox = pen + g->xOffset, oy = y + g->yOffset;
      int w = g->width + 2 * e, h = g->height + 2 * e;
      if (w > f->cellWidth) w = f->cellWidth;
      if (h > f->cellHeight) h = f->cellHeight;
      for (int cy = 0; cy < h; ++cy) {
        int py = oy + cy;
        if (py < top || py >= bottom) continue;
        for (int cx = 0; cx < w; ++cx) {
          int px = ox + cx;
          if (px < left || px >= right) continue;
          int k = cy * f->cellWidth + cx;
          if (e && edge[k]) BlendPixel(target, bpp, px, py, edgeColor, packedEdge, edge[k] * 16 * strength / 255);
          if (glyph[k]) BlendPixel(target, bpp, px, py, color, packedColor, glyph[k] * 16 * strength / 255);
        }
      }
    }
    pen += g->advance + f->spacing;
    if (n == 2 && (code >> 8) == 0) break;
    i += n;
  }
  if (GetDrawTarget() == -4) {
    Rect area = {x, y, pen, y + f->cellHeight};
    PresentFrontScreenArea(&area);
  }
  return 0;
}

void StartFontSystem() {
  LogWrite("フォントの初期化を行います\n");
  RememberDefaultFont();
  DeleteAllFonts();
  if (g_fs.rememberDefault) {
    g_fs.defaultFont = CreateFontToHandle(g_fs.defaultFace, g_fs.defaultSize, g_fs.defaultThickness,
                                          g_fs.defaultType, g_fs.defaultCharSet, g_fs.defaultEdge,
                                          g_fs.defaultItalic);
  } else {
    g_fs.defaultFont = CreateFontToHandle(nullptr, 16, 6, -1, -1, -1, 0);
  }
  LogWrite("フォントの初期化は正常に終了しました\n");
}

void StopFontSystem() {
  // The default font's settings outlive it, so the next start (after a mode
  // change) makes it again with the same size and weight.
  RememberDefaultFont();
  DeleteAllFonts();
  HandleTableFree(&Table());
  g_fs.defaultFont = -1;
  // The next start opens it again.
  if (g_fs.hangul != reinterpret_cast<iconv_t>(-1)) iconv_close(g_fs.hangul);
  g_fs.hangul = reinterpret_cast<iconv_t>(-1);
  if (g_fs.library) FT_Done_FreeType(g_fs.library);
  g_fs.library = nullptr;
  FontFilesStop();
  g_fs.libraryTried = false;
}

}  // namespace qx
