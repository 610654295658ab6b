#include "runtime/graphics/renderer.h"

#include <math.h>
#include <stddef.h>
#include <string.h>

#include "runtime/graphics/draw_pool.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/renderer_internal.h"
#include "runtime/graphics/renderer_kernels.h"

namespace qx {

using namespace render;

namespace {

uint8_t g_B[256][256];
int16_t g_A[256][511];
uint8_t g_C[64][64][64];
bool g_tablesBuilt = false;

void EnsureTables() {
  if (!g_tablesBuilt) InitRendererTables();
}

using AtFn = void (*)(uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m, int mpitch, int w,
                      int h, const Ctx& c);

template <class L, int K, bool T, int V, bool M, bool BR>
void BlitAt(uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m, int mpitch, int w, int h,
            const Ctx& c) {
  using E = typename SrcElem<L, K>::T;
  for (int y = 0; y < h; ++y) {
    RowAt<L, K, T, V, M, BR>(reinterpret_cast<typename L::D*>(d + static_cast<ptrdiff_t>(y) * dpitch),
                             reinterpret_cast<const E*>(s + static_cast<ptrdiff_t>(y) * spitch),
                             M ? m + static_cast<ptrdiff_t>(y) * mpitch : nullptr, w, c);
  }
}

// Plain copies need no per-pixel work at all.
void CopyRows(uint8_t* d, int dpitch, const uint8_t* s, int spitch, int rowBytes, int h) {
  for (int y = 0; y < h; ++y)
    memcpy(d + static_cast<ptrdiff_t>(y) * dpitch, s + static_cast<ptrdiff_t>(y) * spitch, rowBytes);
}

template <class L, int K, bool T, int V, bool M, bool BR>
void MappedRow(uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch, int64_t sx, int64_t sy,
               int64_t dx, int64_t dy, int n, const Ctx& c) {
  RowMapped<L, K, T, V, M, BR>(reinterpret_cast<typename L::D*>(d), src, spitch, mk, mpitch, sx, sy, dx, dy, n, c);
}

struct Fns {
  AtFn at;
  MapRowFn map;
};

template <class L, int K, bool T, int V, bool M, bool BR>
Fns Make() {
  return Fns{&BlitAt<L, K, T, V, M, BR>, &MappedRow<L, K, T, V, M, BR>};
}

template <class L, int K, bool T, int V, bool M>
Fns PickBR(bool br) {
  return br ? Make<L, K, T, V, M, true>() : Make<L, K, T, V, M, false>();
}

template <class L, int K, bool T, int V>
Fns PickM(bool m, bool br) {
  if constexpr (V == kHalf || V == kCTable) {
    // Both are chosen only without a mask.
    (void)m;
    return PickBR<L, K, T, V, false>(br);
  } else {
    return m ? PickBR<L, K, T, V, true>(br) : PickBR<L, K, T, V, false>(br);
  }
}

template <class L, int K, bool T>
Fns PickV(int v, bool m, bool br) {
  constexpr bool noAlpha = K == kDirect || K == kPalette;
  switch (v) {
    case kRule: return PickM<L, K, T, kRule>(m, br);
    case kRuleP: return PickM<L, K, T, kRuleP>(m, br);
    case kHalf:
      if constexpr (noAlpha) return PickM<L, K, T, kHalf>(m, br);
      break;
    case kCTable:
      if constexpr (noAlpha && !L::k32) return PickM<L, K, T, kCTable>(m, br);
      break;
    case kAdd: return PickM<L, K, T, kAdd>(m, br);
    case kSub: return PickM<L, K, T, kSub>(m, br);
    case kMul: return PickM<L, K, T, kMul>(m, br);
    default: break;
  }
  return Fns{nullptr, nullptr};
}

template <class L>
Fns PickK(int k, bool t, int v, bool m, bool br) {
  switch (k) {
    case kDirect: return t ? PickV<L, kDirect, true>(v, m, br) : PickV<L, kDirect, false>(v, m, br);
    case kPalette: return t ? PickV<L, kPalette, true>(v, m, br) : PickV<L, kPalette, false>(v, m, br);
    case kAlphaTrans: return PickV<L, kAlphaTrans, false>(v, m, br);
    case kAlphaAll: return PickV<L, kAlphaAll, false>(v, m, br);
    case kAlphaIgnore: return PickV<L, kAlphaIgnore, false>(v, m, br);
    default: return Fns{nullptr, nullptr};
  }
}

bool ColourTarget(const MEMIMG* dest) {
  return dest && dest->validMarker == kMemImgValid && dest->pixels &&
         (dest->pixelType == kPixel16 || dest->pixelType == kPixel32) && !dest->paletteFlag && !dest->alphaFlag;
}

// The draw area, kept inside the destination so that a stale area can never
// reach outside its pixels.
Rect DrawArea(const MEMIMG* dest) {
  const DrawState& st = GetDrawState();
  Rect r{st.drawLeft, st.drawTop, st.drawRight, st.drawBottom};
  Rect bounds{0, 0, dest->width, dest->height};
  ClipRect(&r, bounds);
  return r;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The i in [lo, hi) with 0 <= f0 + i * df < limit, narrowed in place.
void NarrowSpan(int64_t f0, int64_t df, int64_t limit, int64_t* lo, int64_t* hi) {
  if (df == 0) {
    if (f0 < 0 || f0 >= limit) *hi = *lo;
    return;
  }
  int64_t a, b;  // inclusive bounds on i
  if (df > 0) {
    a = CeilDiv(-f0, df);
    b = FloorDiv(limit - 1 - f0, df);
  } else {
    a = CeilDiv(limit - 1 - f0, df);
    b = FloorDiv(-f0, df);
  }
  if (a > *lo) *lo = a;
  if (b + 1 < *hi) *hi = b + 1;
  if (*hi < *lo) *hi = *lo;
}

template <int Mode>
void Fill16(const FillPlan& fp, uint16_t* d, int w) {
  static constexpr int kSh[3] = {0, 5, 11};
  static constexpr int kMax[3] = {31, 63, 31};
  static constexpr int kBits[3] = {5, 6, 5};
  int c[3] = {static_cast<int>(fp.color & 31), static_cast<int>((fp.color >> 5) & 63),
              static_cast<int>((fp.color >> 11) & 31)};
  for (int i = 0; i < w; ++i) {
    int D = d[i];
    int out = 0;
    for (int k = 0; k < 3; ++k) {
      int dv = (D >> kSh[k]) & kMax[k];
      int v;
      if constexpr (Mode == 1) {
        v = dv + g_A[fp.p][c[k] - dv + 255];
      } else if constexpr (Mode == 2) {
        v = dv + g_B[fp.p][c[k]];
        v = v > kMax[k] ? kMax[k] : v;
      } else if constexpr (Mode == 3) {
        v = dv - g_B[fp.p][c[k]];
        v = v < 0 ? 0 : v;
      } else {
        v = (dv * c[k]) >> kBits[k];
      }
      out |= v << kSh[k];
    }
    d[i] = static_cast<uint16_t>(out);
  }
}

}  // namespace

void ClipRect(Rect* r, const Rect& b) {
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

void InitRendererTables() {
  if (g_tablesBuilt) return;
  for (int i = 0; i < 256; ++i)
    for (int j = 0; j < 256; ++j) g_B[i][j] = static_cast<uint8_t>(i * j / 255);
  for (int p = 0; p < 256; ++p)
    for (int j = -255; j <= 255; ++j) g_A[p][j + 255] = static_cast<int16_t>(j * p / 255);
  for (int t = 0; t < 64; ++t)
    for (int m = 0; m < 64; ++m)
      for (int n = 0; n < 64; ++n) g_C[t][m][n] = static_cast<uint8_t>((m * t + n * (63 - t)) / 63);
  g_tablesBuilt = true;
}

const uint8_t* BrightnessTableRow(int i) {
  EnsureTables();
  return g_B[i & 255];
}
int MixTableValue(int p, int j) {
  EnsureTables();
  return g_A[p & 255][j + 255];
}
const uint8_t* BlendTable6() {
  EnsureTables();
  return &g_C[0][0][0];
}

bool PrepareDraw(const MEMIMG* dest, const MEMIMG* src, bool trans, const MEMIMG* mask, bool mapped,
                 DrawPlan* plan) {
  EnsureTables();
  if (!ColourTarget(dest) || !src || src->validMarker != kMemImgValid || !src->pixels) return false;
  if (src->pixelType != dest->pixelType) return false;
  if (src->width <= 0 || src->height <= 0) return false;
  if (mask) {
    // A mask narrower or lower than the source would be read past its end.
    if (mask->validMarker != kMemImgValid || mask->pixelType != kPixelMask8 || !mask->pixels ||
        mask->width < src->width || mask->height < src->height)
      return false;
  }
  const DrawState& st = GetDrawState();
  if (st.drawAreaEmpty) return false;
  int mode = st.blendMode;
  int p = st.blendParam;
  if (mode < 0 || mode > 4) return false;
  if (mode >= 1 && mode <= 3 && p == 0) return false;
  if (mode == 1 && p == 255) mode = 0;
  bool is32 = dest->pixelType == kPixel32;
  bool hasMask = mask != nullptr;

  int kind;
  bool keyTest = false;
  if (src->paletteFlag) {
    kind = kPalette;
    keyTest = trans;
  } else if (src->alphaFlag) {
    if (trans)
      kind = kAlphaTrans;
    else if (!mapped && mode == 0 && !hasMask)
      kind = kAlphaIgnore;
    else
      kind = kAlphaAll;
  } else {
    kind = kDirect;
    keyTest = trans;
  }
  bool noAlpha = kind == kDirect || kind == kPalette;
  int variant;
  switch (mode) {
    case 0: variant = kRule; break;
    case 1:
      if (noAlpha && !hasMask && p == 128 && !mapped)
        variant = kHalf;
      else if (noAlpha && !hasMask && !is32)
        variant = kCTable;
      else
        variant = kRuleP;
      break;
    case 2: variant = kAdd; break;
    case 3: variant = kSub; break;
    default: variant = kMul; break;
  }
  bool bright = (st.brightness & 0xFFFFFF) != 0xFFFFFF;

  Ctx& c = plan->ctx;
  c.p = static_cast<uint32_t>(p);
  c.key = is32 ? src->colorKey : (src->paletteFlag ? src->colorKey : (src->colorKey & 0xFFFFu));
  c.maskTable = st.blendMaskTable;
  c.palette = src->palette;
  c.bR = g_B[(st.brightness >> 16) & 255];
  c.bG = g_B[(st.brightness >> 8) & 255];
  c.bB = g_B[st.brightness & 255];
  c.bP = g_B[p];
  c.cT = &g_C[p / 4][0][0];

  Fns f = is32 ? PickK<Lay32>(kind, keyTest, variant, hasMask, bright)
               : PickK<Lay16>(kind, keyTest, variant, hasMask, bright);
  plan->at = f.at;
  plan->mapRow = f.map;
  plan->plainCopy = variant == kRule && !hasMask && !bright && !keyTest &&
                    (kind == kDirect || (kind == kAlphaIgnore && is32));
  plan->kind = kind;
  plan->variant = variant;
  plan->keyTest = keyTest;
  plan->mask = hasMask;
  plan->bright = bright;
  plan->brightness = st.brightness & 0xFFFFFF;
  plan->is32 = is32;
  plan->srcBpp = MemImageBytesPerPixel(src->pixelType, src->alphaFlag, src->paletteFlag);
  plan->srcW = src->width;
  plan->srcH = src->height;
  plan->dstBpp = is32 ? 4 : 2;
  return plan->at != nullptr;
}

namespace {

struct AtJob {
  const DrawPlan* plan;
  uint8_t* d;
  int dpitch;
  const uint8_t* s;
  int spitch;
  const uint8_t* m;
  int mpitch;
  int w;
};

void DrawAtRows(const void* data, int begin, int end) {
  const AtJob& j = *static_cast<const AtJob*>(data);
  const DrawPlan& plan = *j.plan;
  uint8_t* d = j.d + static_cast<ptrdiff_t>(begin) * j.dpitch;
  const uint8_t* s = j.s + static_cast<ptrdiff_t>(begin) * j.spitch;
  const uint8_t* m = j.m ? j.m + static_cast<ptrdiff_t>(begin) * j.mpitch : nullptr;
  int h = end - begin;
  if (plan.plainCopy) {
    CopyRows(d, j.dpitch, s, j.spitch, j.w * plan.dstBpp, h);
    return;
  }
  if (SimdDrawAt(plan, d, j.dpitch, s, j.spitch, m, j.mpitch, j.w, h)) return;
  plan.at(d, j.dpitch, s, j.spitch, m, j.mpitch, j.w, h, plan.ctx);
}

struct MappedJob {
  MEMIMG* dest;
  const MEMIMG* src;
  const MEMIMG* mask;
  const DrawPlan* plan;
  const Rect* box;
  const MapSetup* map;
};

// Row j's span [lo, hi) in columns from the box's left.
void MappedSpan(const MappedJob& job, int j, int64_t* lo, int64_t* hi) {
  const Rect& box = *job.box;
  const MapSetup& map = *job.map;
  *lo = 0;
  *hi = box.right - box.left;
  if (map.spanLimit) map.spanLimit(map.spanData, box.top + j, box.left, lo, hi);
  NarrowSpan(map.sx0 + j * map.rowDx, map.dx, static_cast<int64_t>(job.src->width) << 18, lo, hi);
  NarrowSpan(map.sy0 + j * map.rowDy, map.dy, static_cast<int64_t>(job.src->height) << 18, lo, hi);
}

void DrawMappedSpan(const MappedJob& job, int j, int64_t lo, int64_t hi) {
  const MEMIMG* src = job.src;
  const DrawPlan& plan = *job.plan;
  const Rect& box = *job.box;
  const MapSetup& map = *job.map;
  int mpitch = job.mask ? job.mask->pitch : 0;
  const uint8_t* mk = job.mask ? job.mask->pixels : nullptr;
  int n = static_cast<int>(hi - lo);
  uint8_t* d = job.dest->pixels + static_cast<ptrdiff_t>(box.top + j) * job.dest->pitch +
               static_cast<ptrdiff_t>(box.left + lo) * plan.dstBpp;
  int64_t sx = map.sx0 + j * map.rowDx + lo * map.dx, sy = map.sy0 + j * map.rowDy + lo * map.dy;
  if (SimdMappedRow(plan, d, src->pixels, src->pitch, mk, mpitch, sx, sy, map.dx, map.dy, n)) return;
  plan.mapRow(d, src->pixels, src->pitch, mk, mpitch, sx, sy, map.dx, map.dy, n, plan.ctx);
}

void DrawMappedRows(const void* data, int begin, int end) {
  const MappedJob& job = *static_cast<const MappedJob*>(data);
  const MapSetup& map = *job.map;
  const Rect& box = *job.box;
  // Rows go in blocks of 16, which the vector level may draw together.
  for (int j0 = begin; j0 < end; j0 += 16) {
    MappedBlock b;
    b.rows = end - j0 < 16 ? end - j0 : 16;
    bool any = false;
    for (int k = 0; k < 16; ++k) {
      int64_t lo = 0, hi = 0;
      if (k < b.rows) MappedSpan(job, j0 + k, &lo, &hi);
      if (lo >= hi) lo = hi = 0;
      b.lo[k] = static_cast<int32_t>(lo);
      b.hi[k] = static_cast<int32_t>(hi);
      any = any || lo < hi;
    }
    if (!any) continue;
    if (!job.mask) {
      b.d = job.dest->pixels + static_cast<ptrdiff_t>(box.top + j0) * job.dest->pitch +
            static_cast<ptrdiff_t>(box.left) * job.plan->dstBpp;
      b.dpitch = job.dest->pitch;
      b.src = job.src->pixels;
      b.spitch = job.src->pitch;
      b.sx = map.sx0 + j0 * map.rowDx;
      b.sy = map.sy0 + j0 * map.rowDy;
      b.dx = map.dx;
      b.dy = map.dy;
      b.rowDx = map.rowDx;
      b.rowDy = map.rowDy;
      if (SimdMappedBlock(*job.plan, b)) continue;
    }
    for (int k = 0; k < b.rows; ++k)
      if (b.lo[k] < b.hi[k]) DrawMappedSpan(job, j0 + k, b.lo[k], b.hi[k]);
  }
}

struct FillJob {
  const FillPlan* plan;
  uint8_t* row0;
  int pitch;
  int w;
};

void FillRows(const void* data, int begin, int end) {
  const FillJob& j = *static_cast<const FillJob*>(data);
  uint8_t* first = j.row0 + static_cast<ptrdiff_t>(begin) * j.pitch;
  FillRow(*j.plan, first, j.w);
  if (j.plan->mode == 0) {
    // An opaque fill's rows are all alike: copies of the first run at the memory's speed.
    size_t rowBytes = static_cast<size_t>(j.w) * (j.plan->is32 ? 4 : 2);
    for (int y = begin + 1; y < end; ++y) memcpy(j.row0 + static_cast<ptrdiff_t>(y) * j.pitch, first, rowBytes);
    return;
  }
  for (int y = begin + 1; y < end; ++y) FillRow(*j.plan, j.row0 + static_cast<ptrdiff_t>(y) * j.pitch, j.w);
}

}  // namespace

bool WindowMask(const MEMIMG* mask, const SourceWindow* window, MEMIMG* view, const MEMIMG** out) {
  *out = mask;
  if (!window || !mask || mask->validMarker != kMemImgValid || !mask->pixels) return true;
  if (mask->pixelType != kPixelMask8 || mask->width < window->width || mask->height < window->height) return false;
  MemImageView(view, mask, window->x, window->y, mask->width - window->x, mask->height - window->y);
  *out = view;
  return true;
}

void DrawImageAt(MEMIMG* dest, const MEMIMG* src, int x, int y, bool trans, const MEMIMG* mask,
                 const SourceWindow* window) {
  MEMIMG maskView;
  if (!WindowMask(mask, window, &maskView, &mask)) return;
  if (window) {
    x += window->x;
    y += window->y;
  }
  DrawPlan plan;
  if (!PrepareDraw(dest, src, trans, mask, false, &plan)) return;
  Rect area = DrawArea(dest);
  int64_t r64 = static_cast<int64_t>(x) + src->width, b64 = static_cast<int64_t>(y) + src->height;
  Rect r{x, y, r64 > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(r64),
         b64 > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(b64)};
  ClipRect(&r, area);
  if (r.left == r.right || r.top == r.bottom) return;
  int sx = r.left - x, sy = r.top - y;
  int w = r.right - r.left, h = r.bottom - r.top;
  uint8_t* d = dest->pixels + static_cast<ptrdiff_t>(r.top) * dest->pitch + static_cast<ptrdiff_t>(r.left) * plan.dstBpp;
  const uint8_t* s = src->pixels + static_cast<ptrdiff_t>(sy) * src->pitch + static_cast<ptrdiff_t>(sx) * plan.srcBpp;
  const uint8_t* m = mask ? mask->pixels + static_cast<ptrdiff_t>(sy) * mask->pitch + sx : nullptr;
  int mpitch = mask ? mask->pitch : 0;
  AtJob job{&plan, d, dest->pitch, s, src->pitch, m, mpitch, w};
  DrawRowBands(r.top, h, dest->height, static_cast<int64_t>(w) * h, &DrawAtRows, &job);
}

void DrawMappedSpans(MEMIMG* dest, const MEMIMG* src, const MEMIMG* mask, const DrawPlan& plan, const Rect& box,
                     const MapSetup& map) {
  MappedJob job{dest, src, mask, &plan, &box, &map};
  int rows = box.bottom - box.top;
  DrawRowBands(box.top, rows, dest->height, static_cast<int64_t>(rows) * (box.right - box.left), &DrawMappedRows, &job);
}

bool RotationSetup(int x, int y, float angle, float scale, int w, int h, const Rect& area, Rect* box,
                   MapSetup* map) {
  if (!isfinite(angle) || !isfinite(scale)) return false;
  // Far beyond any use; keeps every fixed-point product inside 64 bits.
  if (fabsf(scale) < 1.0f / 65536.0f || fabsf(scale) > 65536.0f) return false;
  float cs = cosf(angle), sn = sinf(angle);
  int64_t cF = static_cast<int64_t>(cs * 262144.0f);
  int64_t sF = static_cast<int64_t>(sn * 262144.0f);
  int64_t hx = static_cast<int64_t>(static_cast<double>(scale) * w * 131072.0);
  int64_t hy = static_cast<int64_t>(static_cast<double>(scale) * h * 131072.0);
  int64_t cx = static_cast<int64_t>(x) * 262144, cy = static_cast<int64_t>(y) * 262144;
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (int i = 0; i < 4; ++i) {
    int64_t dx = (i & 1) ? hx : -hx;
    int64_t dy = (i & 2) ? hy : -hy;
    int64_t X = cx + ((dx * cF - dy * sF) >> 18);
    int64_t Y = cy + ((dx * sF + dy * cF) >> 18);
    if (X < minX) minX = X;
    if (X > maxX) maxX = X;
    if (Y < minY) minY = Y;
    if (Y > maxY) maxY = Y;
  }
  auto toInt = [](int64_t v) {
    return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : static_cast<int>(v));
  };
  Rect r{toInt((minX >> 18) - 2), toInt((minY >> 18) - 2), toInt((maxX >> 18) + 4), toInt((maxY >> 18) + 4)};
  ClipRect(&r, area);
  if (r.left == r.right || r.top == r.bottom) return false;
  *box = r;
  int64_t c = static_cast<int64_t>(cosf(angle) * 262144.0f);
  int64_t s = static_cast<int64_t>(sinf(-angle) * 262144.0f);
  float rcp = 1.0f / scale;
  double rd = static_cast<double>(rcp);
  auto mapX = [&](int64_t px, int64_t py) {
    return static_cast<int64_t>(static_cast<double>((px - x) * c - (py - y) * s) * rd) +
           static_cast<int64_t>(w / 2) * 262144;
  };
  auto mapY = [&](int64_t px, int64_t py) {
    return static_cast<int64_t>(static_cast<double>((py - y) * c + (px - x) * s) * rd) +
           static_cast<int64_t>(h / 2) * 262144;
  };
  int64_t rows = r.bottom - r.top;
  map->sx0 = mapX(r.left, r.top);
  map->sy0 = mapY(r.left, r.top);
  map->dx = static_cast<int64_t>(static_cast<double>(c) * rd);
  map->dy = static_cast<int64_t>(static_cast<double>(s) * rd);
  map->rowDx = (mapX(r.left, r.bottom) - map->sx0) / rows;
  map->rowDy = (mapY(r.left, r.bottom) - map->sy0) / rows;
  map->spanLimit = nullptr;
  map->spanData = nullptr;
  return true;
}

void DrawImageRotated(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                      bool turn, const MEMIMG* mask, const SourceWindow* window) {
  MEMIMG maskView;
  if (!WindowMask(mask, window, &maskView, &mask)) return;
  DrawPlan plan;
  if (!PrepareDraw(dest, src, trans, mask, true, &plan)) return;
  if (turn) {
    DrawRotatedTurned(dest, src, x, y, angle, scale, trans, mask, window);
    return;
  }
  Rect box;
  MapSetup map;
  int w = window ? window->width : src->width, h = window ? window->height : src->height;
  if (!RotationSetup(x, y, angle, scale, w, h, DrawArea(dest), &box, &map)) return;
  if (window) {
    map.sx0 -= static_cast<int64_t>(window->x) << 18;
    map.sy0 -= static_cast<int64_t>(window->y) << 18;
  }
  DrawMappedSpans(dest, src, mask, plan, box, map);
}

void DrawImageStretched(MEMIMG* dest, const MEMIMG* src, const Rect* destRect, bool trans) {
  DrawPlan plan;
  if (!destRect || !PrepareDraw(dest, src, trans, nullptr, true, &plan)) return;
  Rect r = *destRect;
  if (r.right < r.left) {
    int t = r.left;
    r.left = r.right;
    r.right = t;
  }
  if (r.bottom < r.top) {
    int t = r.top;
    r.top = r.bottom;
    r.bottom = t;
  }
  int64_t dw = static_cast<int64_t>(r.right) - r.left, dh = static_cast<int64_t>(r.bottom) - r.top;
  if (dw == 0 || dh == 0) return;
  Rect box = r;
  ClipRect(&box, DrawArea(dest));
  if (box.left == box.right || box.top == box.bottom) return;
  MapSetup map;
  map.dx = (static_cast<int64_t>(src->width) << 18) / dw;
  map.dy = 0;
  map.rowDx = 0;
  map.rowDy = (static_cast<int64_t>(src->height) << 18) / dh;
  map.sx0 = (box.left - r.left) * map.dx;
  map.sy0 = (box.top - r.top) * map.rowDy;
  map.spanLimit = nullptr;
  map.spanData = nullptr;
  DrawMappedSpans(dest, src, nullptr, plan, box, map);
}

void FillRect(MEMIMG* dest, const Rect* rect, uint32_t color) {
  EnsureTables();
  if (!ColourTarget(dest)) return;
  const DrawState& st = GetDrawState();
  if (st.drawAreaEmpty) return;
  Rect r = rect ? *rect : Rect{0, 0, dest->width, dest->height};
  if (r.right < r.left) {
    int t = r.left;
    r.left = r.right;
    r.right = t;
  }
  if (r.bottom < r.top) {
    int t = r.top;
    r.top = r.bottom;
    r.bottom = t;
  }
  ClipRect(&r, DrawArea(dest));
  if (r.left == r.right || r.top == r.bottom) return;
  int mode = st.blendMode, p = st.blendParam;
  if (mode < 0 || mode > 4) return;
  if (mode >= 1 && mode <= 3 && p == 0) return;
  if (mode == 1 && p == 255) mode = 0;
  bool is32 = dest->pixelType == kPixel32;
  uint32_t br = st.brightness & 0xFFFFFF;
  if (br != 0xFFFFFF) {
    if (is32) {
      uint32_t c0 = ((color & 255) * (br & 255)) >> 8;
      uint32_t c1 = (((color >> 8) & 255) * ((br >> 8) & 255)) >> 8;
      uint32_t c2 = (((color >> 16) & 255) * ((br >> 16) & 255)) >> 8;
      color = (color & 0xFF000000u) | c0 | (c1 << 8) | (c2 << 16);
    } else {
      uint32_t c0 = ((color & 31) * (br & 255)) >> 8;
      uint32_t c1 = (((color >> 5) & 63) * ((br >> 8) & 255)) >> 8;
      uint32_t c2 = (((color >> 11) & 31) * ((br >> 16) & 255)) >> 8;
      color = c0 | (c1 << 5) | (c2 << 11);
    }
  }
  int w = r.right - r.left, h = r.bottom - r.top;
  FillPlan fp{mode, static_cast<uint32_t>(p), color, is32};
  FillJob job{&fp,
              dest->pixels + static_cast<ptrdiff_t>(r.top) * dest->pitch + static_cast<ptrdiff_t>(r.left) * (is32 ? 4 : 2),
              dest->pitch, w};
  DrawRowBands(r.top, h, dest->height, static_cast<int64_t>(w) * h, &FillRows, &job);
}

void FillRow(const FillPlan& fp, uint8_t* row, int w) {
  if (SimdFillRow(fp, row, w) == w) return;
  // The plan's fields are copied first: a store through d could otherwise
  // change them as far as the compiler knows, and every pixel would reload them.
  const uint32_t color = fp.color, p = fp.p;
  const int mode = fp.mode;
  if (fp.is32) {
    uint32_t* __restrict d = reinterpret_cast<uint32_t*>(row);
    uint32_t c0 = color & 255, c1 = (color >> 8) & 255, c2 = (color >> 16) & 255;
    switch (mode) {
      case 0:
        for (int i = 0; i < w; ++i) d[i] = color;
        break;
      case 1:
        for (int i = 0; i < w; ++i) {
          uint32_t D = d[i];
          d[i] = (D & 0xFF000000u) | Mix(D & 255, c0, p, 8) | (Mix((D >> 8) & 255, c1, p, 8) << 8) |
                 (Mix((D >> 16) & 255, c2, p, 8) << 16);
        }
        break;
      case 2:
      case 3: {
        uint32_t v0 = g_B[p][c0], v1 = g_B[p][c1], v2 = g_B[p][c2];
        bool add = mode == 2;
        auto op = [add](uint32_t d, uint32_t v) { return add ? (d + v > 255 ? 255 : d + v) : (d > v ? d - v : 0); };
        for (int i = 0; i < w; ++i) {
          uint32_t D = d[i];
          d[i] = (D & 0xFF000000u) | op(D & 255, v0) | (op((D >> 8) & 255, v1) << 8) |
                 (op((D >> 16) & 255, v2) << 16);
        }
        break;
      }
      default:
        for (int i = 0; i < w; ++i) {
          uint32_t D = d[i];
          d[i] = (D & 0xFF000000u) | (((D & 255) * c0) >> 8) | (((((D >> 8) & 255) * c1) >> 8) << 8) |
                 (((((D >> 16) & 255) * c2) >> 8) << 16);
        }
        break;
    }
    return;
  }
  uint16_t* __restrict d = reinterpret_cast<uint16_t*>(row);
  switch (mode) {
    case 0:
      for (int i = 0; i < w; ++i) d[i] = static_cast<uint16_t>(color);
      break;
    case 1: Fill16<1>(fp, d, w); break;
    case 2: Fill16<2>(fp, d, w); break;
    case 3: Fill16<3>(fp, d, w); break;
    default: Fill16<4>(fp, d, w); break;
  }
}

}  // namespace qx
