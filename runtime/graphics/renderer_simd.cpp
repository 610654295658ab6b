// Vector paths of the software renderer for the 32-bit cases the game draws
// (modes 0 and 1, plain or alpha sources, white brightness). They produce
// exactly the bytes of the scalar kernels; AVX2 is chosen at run time and
// everything else falls back to the scalar kernels.
//
// Every weighted rule is one formula per channel: d' = ((d << sh) + (s - d) * W) >> sh
// with unsigned wrap-around, exact because the true sum lies in 0 .. 2^32.
// Weights are folded into W: a colour-key pixel or alpha 0 has W = 0 (the
// destination stays), and alpha 255 counts as 256 one shift up, which equals
// dropping that weight.
#include <immintrin.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"

#define QX_AVX2 __attribute__((target("avx2")))

namespace qx {

using namespace render;

namespace {

int Detect() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl"))
    return kSimdAvx512;
  if (__builtin_cpu_supports("avx2")) return kSimdAvx2;
  return kSimdSse2;  // every x86-64 has it
}

int g_level = RendererStartSimdLevel(getenv("QUARNEX_SIMD"));

// Kernel shape: source kind, colour-key test, parameter weight, mask weight.
struct Shape {
  int kind;
  bool key;
  bool useP;
  bool useM;
};

QX_AVX2 inline __m256i Channel(__m256i v, int shift) {
  return _mm256_and_si256(_mm256_srli_epi32(v, shift), _mm256_set1_epi32(0xFF));
}

// Eight pixels: S source, D destination, W weights, copy lanes taking S whole.
template <int Sh>
QX_AVX2 inline __m256i Mix8(__m256i S, __m256i D, __m256i W) {
  // Spelled out: left as a loop the compiler kept variable shift counts.
  auto one = [&](int shift) QX_AVX2 {
    __m256i s = Channel(S, shift), d = Channel(D, shift);
    __m256i r = _mm256_add_epi32(_mm256_slli_epi32(d, Sh), _mm256_mullo_epi32(_mm256_sub_epi32(s, d), W));
    return _mm256_slli_epi32(_mm256_srli_epi32(r, Sh), shift);
  };
  __m256i out = _mm256_and_si256(D, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
  return _mm256_or_si256(_mm256_or_si256(out, one(0)), _mm256_or_si256(one(8), one(16)));
}

// One weight below 256: red and blue, then green, two fields per 32-bit lane
// in 16-bit products, since s * w + d * (256 - w) stays below 2^16.
QX_AVX2 inline __m256i Mix8One(__m256i S, __m256i D, __m256i W) {
  __m256i m = _mm256_set1_epi32(0x00FF00FF);
  __m256i w16 = _mm256_or_si256(W, _mm256_slli_epi32(W, 16));
  __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(256), w16);
  __m256i rb = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(S, m), w16),
                                _mm256_mullo_epi16(_mm256_and_si256(D, m), inv));
  __m256i g = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi32(S, 8), m), w16),
                               _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi32(D, 8), m), inv));
  rb = _mm256_srli_epi16(rb, 8);
  g = _mm256_and_si256(g, _mm256_set1_epi32(0x0000FF00));
  __m256i top = _mm256_and_si256(D, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
  return _mm256_or_si256(_mm256_or_si256(rb, g), top);
}

QX_AVX2 inline int LaneMask(__m256i cmp) { return _mm256_movemask_ps(_mm256_castsi256_ps(cmp)); }

// The weights of eight pixels and the result; m holds mask weights (useM).
template <int K, bool Key, bool UP, bool UM>
QX_AVX2 inline __m256i Blend8(__m256i S, __m256i D, __m256i m, __m256i p, __m256i key) {
  constexpr bool alpha = K == kAlphaTrans || K == kAlphaAll;
  constexpr int n = (UP ? 1 : 0) + (UM ? 1 : 0) + (alpha ? 1 : 0);
  if constexpr (n == 0) {
    if constexpr (Key) return _mm256_blendv_epi8(S, D, _mm256_cmpeq_epi32(S, key));
    return S;
  } else {
    __m256i W = _mm256_set1_epi32(1);
    if constexpr (UP) W = p;
    if constexpr (UM) W = UP ? _mm256_mullo_epi32(W, m) : m;
    if constexpr (K == kAlphaTrans) {
      // Pictures are mostly fully clear or fully opaque: groups of only
      // those need no alpha weight at all.
      __m256i a = _mm256_srli_epi32(S, 24);
      __m256i full = _mm256_cmpeq_epi32(a, _mm256_set1_epi32(255));
      __m256i clear = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
      int fullBits = LaneMask(full), clearBits = LaneMask(clear);
      if (clearBits == 0xFF) return D;
      if ((fullBits | clearBits) == 0xFF) {
        if constexpr (n == 1) {
          return _mm256_blendv_epi8(D, S, full);
        } else if constexpr (UP && !UM) {
          // One weight for every drawn lane: its 16-bit form stays out of the loop.
          __m256i r = Mix8One(S, D, p);
          return fullBits == 0xFF ? r : _mm256_blendv_epi8(D, r, full);
        } else {
          W = _mm256_and_si256(W, full);
          if constexpr (n == 2)
            return Mix8One(S, D, W);
          else
            return Mix8<16>(S, D, W);
        }
      }
      __m256i copy = _mm256_setzero_si256();
      if constexpr (n == 1) {
        copy = full;  // alpha is the only weight: 255 copies the pixel
      } else {
        a = _mm256_blendv_epi8(a, _mm256_set1_epi32(256), full);
      }
      W = (UP || UM) ? _mm256_mullo_epi32(W, a) : a;
      __m256i r;
      if constexpr (n == 1)
        r = _mm256_blendv_epi8(Mix8One(S, D, W), S, copy);
      else
        r = Mix8<8 * n>(S, D, W);
      return r;
    } else {
      if constexpr (alpha) {
        __m256i a = _mm256_srli_epi32(S, 24);
        W = (UP || UM) ? _mm256_mullo_epi32(W, a) : a;
      }
      if constexpr (Key && n == 1 && UP) {
        // As above: the constant weight, then the keyed lanes keep the destination.
        return _mm256_blendv_epi8(Mix8One(S, D, p), D, _mm256_cmpeq_epi32(S, key));
      }
      if constexpr (Key) W = _mm256_andnot_si256(_mm256_cmpeq_epi32(S, key), W);
      if constexpr (n == 1)
        return Mix8One(S, D, W);
      else
        return Mix8<8 * n>(S, D, W);
    }
  }
}

template <int K, bool Key, bool UP, bool UM>
QX_AVX2 void RowAt8(uint32_t* d, const uint32_t* s, const uint8_t* mk, const uint32_t* mtab, int groups,
                    uint32_t p, uint32_t key) {
  __m256i pv = _mm256_set1_epi32(static_cast<int>(p)), kv = _mm256_set1_epi32(static_cast<int>(key));
  for (int g = 0; g < groups; ++g) {
    __m256i S = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 8 * g));
    __m256i D = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 8 * g));
    __m256i m = _mm256_setzero_si256();
    if constexpr (UM) {
      __m256i idx = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mk + 8 * g)));
      m = _mm256_i32gather_epi32(reinterpret_cast<const int*>(mtab), idx, 4);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * g), Blend8<K, Key, UP, UM>(S, D, m, pv, kv));
  }
}

template <int K, bool Key, bool UP>
QX_AVX2 void RowMapped8(uint32_t* d, const uint32_t* src, int stride, int64_t sx, int64_t sy, int64_t dx,
                        int64_t dy, int groups, uint32_t p, uint32_t key) {
  __m256i pv = _mm256_set1_epi32(static_cast<int>(p)), kv = _mm256_set1_epi32(static_cast<int>(key));
  // Within a span every coordinate is below 2^31, so offsets of up to seven steps fit in 32 bits.
  __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i offX = _mm256_mullo_epi32(lane, _mm256_set1_epi32(static_cast<int>(dx)));
  __m256i offY = _mm256_mullo_epi32(lane, _mm256_set1_epi32(static_cast<int>(dy)));
  __m256i strideV = _mm256_set1_epi32(stride);
  __m256i zero = _mm256_setzero_si256();
  // Stepping in 32-bit lanes wraps alike, so the low 32 bits stay those of the 64-bit positions.
  __m256i X = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(sx)), offX);
  __m256i Y = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(sy)), offY);
  __m256i stepX = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(8 * dx)));
  __m256i stepY = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(8 * dy)));
  for (int g = 0; g < groups; ++g, X = _mm256_add_epi32(X, stepX), Y = _mm256_add_epi32(Y, stepY)) {
    __m256i idx = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(Y, 18), strideV), _mm256_srli_epi32(X, 18));
    __m256i S = _mm256_i32gather_epi32(reinterpret_cast<const int*>(src), idx, 4);
    __m256i D = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 8 * g));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * g), Blend8<K, Key, UP, false>(S, D, zero, pv, kv));
  }
}

using AtVec = void (*)(uint32_t*, const uint32_t*, const uint8_t*, const uint32_t*, int, uint32_t, uint32_t);
using MapVec = void (*)(uint32_t*, const uint32_t*, int, int64_t, int64_t, int64_t, int64_t, int, uint32_t,
                        uint32_t);

template <int K, bool Key>
AtVec PickAt(bool up, bool um) {
  if (up) return um ? &RowAt8<K, Key, true, true> : &RowAt8<K, Key, true, false>;
  return um ? &RowAt8<K, Key, false, true> : &RowAt8<K, Key, false, false>;
}

template <int K, bool Key>
MapVec PickMap(bool up) {
  return up ? &RowMapped8<K, Key, true> : &RowMapped8<K, Key, false>;
}

// The vector shape of a plan, or false when only the scalar kernels apply.
bool ShapeOf(const DrawPlan& plan, Shape* s) {
  if (g_level < kSimdAvx2 || !plan.is32 || plan.bright) return false;
  if (plan.variant != kRule && plan.variant != kRuleP && plan.variant != kHalf) return false;
  if (plan.kind == kPalette) return false;
  s->kind = plan.kind;
  s->key = plan.keyTest;
  s->useP = plan.variant == kRuleP;
  s->useM = plan.mask;
  return true;
}

AtVec AtKernel(const Shape& s) {
  switch (s.kind) {
    case kDirect: return s.key ? PickAt<kDirect, true>(s.useP, s.useM) : PickAt<kDirect, false>(s.useP, s.useM);
    case kAlphaTrans: return PickAt<kAlphaTrans, false>(s.useP, s.useM);
    case kAlphaAll: return PickAt<kAlphaAll, false>(s.useP, s.useM);
    default: return PickAt<kAlphaIgnore, false>(s.useP, s.useM);
  }
}

MapVec MapKernel(const Shape& s) {
  switch (s.kind) {
    case kDirect: return s.key ? PickMap<kDirect, true>(s.useP) : PickMap<kDirect, false>(s.useP);
    case kAlphaTrans: return PickMap<kAlphaTrans, false>(s.useP);
    case kAlphaAll: return PickMap<kAlphaAll, false>(s.useP);
    default: return PickMap<kAlphaIgnore, false>(s.useP);
  }
}

template <bool Key>
QX_AVX2 void HalfRows(uint8_t* d, int dpitch, const uint8_t* s, int spitch, int groups, int h, uint32_t key) {
  __m256i hm = _mm256_set1_epi32(0x7F7F7F), kv = _mm256_set1_epi32(static_cast<int>(key));
  for (int y = 0; y < h; ++y) {
    uint32_t* dr = reinterpret_cast<uint32_t*>(d + static_cast<ptrdiff_t>(y) * dpitch);
    const uint32_t* sr = reinterpret_cast<const uint32_t*>(s + static_cast<ptrdiff_t>(y) * spitch);
    for (int g = 0; g < groups; ++g) {
      __m256i S = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sr + 8 * g));
      __m256i D = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dr + 8 * g));
      __m256i r = _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(S, 1), hm),
                                   _mm256_and_si256(_mm256_srli_epi32(D, 1), hm));
      if constexpr (Key) r = _mm256_blendv_epi8(r, D, _mm256_cmpeq_epi32(S, kv));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dr + 8 * g), r);
    }
  }
}

QX_AVX2 void FillMix(uint32_t* d, int groups, uint32_t color, uint32_t p) {
  // 16-bit lanes: d * (256 - p) + c * p stays below 2^16.
  __m256i keepTop = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  __m256i inv = _mm256_set1_epi16(static_cast<short>(256 - p));
  __m256i cp = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_set1_epi32(static_cast<int>(color))),
                                  _mm256_set1_epi16(static_cast<short>(p)));
  __m256i zero = _mm256_setzero_si256();
  for (int g = 0; g < groups; ++g) {
    __m256i D = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 8 * g));
    __m256i lo = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(D, zero), inv), cp), 8);
    __m256i hi = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(D, zero), inv), cp), 8);
    __m256i r = _mm256_packus_epi16(lo, hi);
    r = _mm256_blendv_epi8(r, D, keepTop);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * g), r);
  }
}

QX_AVX2 void FillCopy(uint32_t* d, int groups, uint32_t color) {
  __m256i c = _mm256_set1_epi32(static_cast<int>(color));
  for (int g = 0; g < groups; ++g) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * g), c);
}

}  // namespace

int SetRendererSimdLevel(int level) {
  int avail = Detect();
  g_level = level > avail ? avail : (level < 0 ? 0 : level);
  return g_level;
}

int RendererSimdLevel() { return g_level; }

int RendererBestSimdLevel() { return Detect(); }

int RendererStartSimdLevel(const char* text) {
  int best = Detect();
  int want = text ? ParseRendererSimdLevel(text) : -1;
  return want >= 0 && want < best ? want : best;
}

int ParseRendererSimdLevel(const char* text) {
  static const char* const kNames[] = {"none", "sse2", "avx2", "avx512"};
  for (int i = 0; i < 4; ++i)
    if (strcasecmp(text, kNames[i]) == 0) return i;
  return -1;
}

bool SimdDrawAt(const DrawPlan& plan, uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m,
                int mpitch, int w, int h) {
  Shape shape;
  if (!ShapeOf(plan, &shape)) return false;
  int groups = w / 8, tail = w % 8;
  if (plan.variant == kHalf) {
    if (shape.key)
      HalfRows<true>(d, dpitch, s, spitch, groups, h, plan.ctx.key);
    else
      HalfRows<false>(d, dpitch, s, spitch, groups, h, plan.ctx.key);
  } else {
    uint32_t mtab[256];
    if (shape.useM)
      for (int i = 0; i < 256; ++i) mtab[i] = plan.ctx.maskTable[i];
    AtVec k = AtKernel(shape);
    for (int y = 0; y < h; ++y)
      k(reinterpret_cast<uint32_t*>(d + static_cast<ptrdiff_t>(y) * dpitch),
        reinterpret_cast<const uint32_t*>(s + static_cast<ptrdiff_t>(y) * spitch),
        shape.useM ? m + static_cast<ptrdiff_t>(y) * mpitch : nullptr, mtab, groups, plan.ctx.p, plan.ctx.key);
  }
  if (tail)
    plan.at(d + groups * 32, dpitch, s + groups * 32, spitch, shape.useM ? m + groups * 8 : nullptr, mpitch, tail, h,
            plan.ctx);
  return true;
}

bool SimdMappedRow(const DrawPlan& plan, uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch,
                   int64_t sx, int64_t sy, int64_t dx, int64_t dy, int n) {
  Shape shape;
  if (n < 8 || !ShapeOf(plan, &shape) || shape.useM || plan.variant == kHalf) return false;
  // Source coordinates must stay below 2^31 in 18-bit fixed point.
  if (plan.srcW >= 8192 || plan.srcH >= 8192) return false;
  // Gather indices are 32-bit: rows of whole 32-bit pixels only.
  if ((spitch & 3) != 0) return false;
  int groups = n / 8;
  MapVec k = MapKernel(shape);
  k(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(src), spitch / 4, sx, sy, dx, dy, groups,
    plan.ctx.p, plan.ctx.key);
  int done = groups * 8;
  if (done < n)
    plan.mapRow(d + done * 4, src, spitch, mk, mpitch, sx + done * dx, sy + done * dy, dx, dy, n - done, plan.ctx);
  return true;
}

int SimdFillRow(const FillPlan& plan, uint8_t* row, int w) {
  if (g_level < kSimdAvx2 || !plan.is32 || (plan.mode != 0 && plan.mode != 1)) return 0;
  int groups = w / 8;
  uint32_t* d = reinterpret_cast<uint32_t*>(row);
  if (plan.mode == 0)
    FillCopy(d, groups, plan.color);
  else
    FillMix(d, groups, plan.color, plan.p);
  return groups * 8;
}

}  // namespace qx
