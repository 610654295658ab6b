// Per-pixel kernels of the software renderer, one instantiation per
// combination of settings so that the inner loops never test a setting.
#ifndef QUARNEX_RUNTIME_GRAPHICS_RENDERER_KERNELS_H
#define QUARNEX_RUNTIME_GRAPHICS_RENDERER_KERNELS_H

#include <stdint.h>

namespace qx {
namespace render {

// Source kinds. Alpha sources either skip alpha 0 and take 255 without weight
// (trans set) or weight every pixel by its alpha (trans clear).
// kAlphaIgnore: an alpha source copied whole, its alpha unused.
enum SrcKind { kDirect = 0, kPalette = 1, kAlphaTrans = 2, kAlphaAll = 3, kAlphaIgnore = 4 };

// Blend variants: the weighted rule of modes 0 and 1 (with or without the
// parameter as a weight), the p = 128 halving, the 16-bit parameter table,
// add, subtract, multiply.
enum Variant { kRule = 0, kRuleP = 1, kHalf = 2, kCTable = 3, kAdd = 4, kSub = 5, kMul = 6 };

struct Ctx {
  uint32_t p;
  uint32_t key;
  const uint8_t* maskTable;
  const void* palette;
  const uint8_t* bR;  // brightness rows of the B table
  const uint8_t* bG;
  const uint8_t* bB;
  const uint8_t* bP;  // B row of the parameter (add, subtract)
  const uint8_t* cT;  // C[p / 4] (64 x 64)
};

struct Lay32 {
  using D = uint32_t;
  static constexpr int kShift[3] = {0, 8, 16};
  static constexpr int kBits[3] = {8, 8, 8};
  static constexpr uint32_t kHalfMask = 0x7F7F7F;
  static constexpr bool k32 = true;
};

struct Lay16 {
  using D = uint16_t;
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kBits[3] = {5, 6, 5};
  static constexpr uint32_t kHalfMask = 0x7BEF;
  static constexpr bool k32 = false;
};

template <class L, int K>
struct SrcElem {
  using T = uint32_t;
};
template <>
struct SrcElem<Lay16, kDirect> {
  using T = uint16_t;
};
template <class L>
struct SrcElem<L, kPalette> {
  using T = uint8_t;
};

// d + floor((s - d) * w / 2^sh), exact: the true sum d * 2^sh + (s - d) * w
// lies in 0 .. 2^32, so unsigned wrap-around arithmetic gives it exactly.
inline uint32_t Mix(uint32_t d, uint32_t s, uint32_t w, int sh) {
  return ((d << sh) + (s - d) * w) >> sh;
}

template <class L>
inline uint32_t Ch(uint32_t v, int i) {
  return (v >> L::kShift[i]) & ((1u << L::kBits[i]) - 1u);
}

template <class L>
inline uint32_t Compose(uint32_t c0, uint32_t c1, uint32_t c2) {
  return (c0 << L::kShift[0]) | (c1 << L::kShift[1]) | (c2 << L::kShift[2]);
}

// The weighted rule with the weights present; n = 0 copies the whole pixel.
template <class L, bool UP, bool UA, bool UM>
inline void Rule(typename L::D* dp, uint32_t S, uint32_t s0, uint32_t s1, uint32_t s2, uint32_t a, uint32_t m,
                 const Ctx& c) {
  constexpr int n = (UP ? 1 : 0) + (UA ? 1 : 0) + (UM ? 1 : 0);
  if constexpr (n == 0) {
    if constexpr (L::k32)
      *dp = (S & 0xFF000000u) | Compose<L>(s0, s1, s2);
    else
      *dp = static_cast<typename L::D>(Compose<L>(s0, s1, s2));
  } else {
    uint32_t w = (UP ? c.p : 1u) * (UA ? a : 1u) * (UM ? m : 1u);
    constexpr int sh = 8 * n;
    uint32_t D = *dp;
    uint32_t r = Compose<L>(Mix(Ch<L>(D, 0), s0, w, sh), Mix(Ch<L>(D, 1), s1, w, sh), Mix(Ch<L>(D, 2), s2, w, sh));
    if constexpr (L::k32)
      *dp = (D & 0xFF000000u) | r;
    else
      *dp = static_cast<typename L::D>(r);
  }
}

// Add, subtract or multiply, then the alpha and mask weights towards that result.
template <class L, int V, bool UA, bool UM>
inline void Arith(typename L::D* dp, uint32_t s0, uint32_t s1, uint32_t s2, uint32_t a, uint32_t m, const Ctx& c) {
  constexpr int n = (UA ? 1 : 0) + (UM ? 1 : 0);
  uint32_t w = (UA ? a : 1u) * (UM ? m : 1u);
  constexpr int sh = 8 * n;
  uint32_t D = *dp;
  uint32_t s[3] = {s0, s1, s2};
  uint32_t out[3];
  for (int i = 0; i < 3; ++i) {
    uint32_t d = Ch<L>(D, i);
    uint32_t maxv = (1u << L::kBits[i]) - 1u;
    if constexpr (V == kMul) {
      uint32_t t = (d * s[i]) >> L::kBits[i];
      out[i] = n ? Mix(d, t, w, sh) : t;
    } else {
      uint32_t v = c.bP[s[i]];
      if (n) v = (v * w) >> sh;
      if constexpr (V == kAdd)
        out[i] = d + v > maxv ? maxv : d + v;
      else
        out[i] = d > v ? d - v : 0;
    }
  }
  uint32_t r = Compose<L>(out[0], out[1], out[2]);
  if constexpr (L::k32)
    *dp = (D & 0xFF000000u) | r;
  else
    *dp = static_cast<typename L::D>(r);
}

template <class L, int K, bool T, int V, bool M, bool BR>
inline void Px(typename L::D* dp, typename SrcElem<L, K>::T sv, uint32_t m, const Ctx& c) {
  uint32_t S;
  uint32_t a = 255;
  if constexpr (K == kPalette) {
    if (T && sv == c.key) return;
    if constexpr (L::k32)
      S = static_cast<const uint32_t*>(c.palette)[sv];
    else
      S = static_cast<const uint16_t*>(c.palette)[sv];
  } else if constexpr (K == kDirect) {
    if (T && sv == c.key) return;
    S = sv;
  } else if constexpr (K == kAlphaIgnore) {
    S = L::k32 ? sv : (sv & 0xFFFFu);
  } else {
    if constexpr (L::k32) {
      a = sv >> 24;
      S = sv;
    } else {
      a = (sv >> 16) & 255u;
      S = sv & 0xFFFFu;
    }
    if (K == kAlphaTrans && a == 0) return;
  }
  uint32_t s0 = Ch<L>(S, 0), s1 = Ch<L>(S, 1), s2 = Ch<L>(S, 2);
  if constexpr (BR) {
    s0 = c.bB[s0];
    s1 = c.bG[s1];
    s2 = c.bR[s2];
  }
  if constexpr (V == kHalf) {
    uint32_t D = *dp;
    *dp = static_cast<typename L::D>(((Compose<L>(s0, s1, s2) >> 1) & L::kHalfMask) + ((D >> 1) & L::kHalfMask));
  } else if constexpr (V == kCTable) {
    uint32_t D = *dp;
    *dp = static_cast<typename L::D>(Compose<L>(c.cT[s0 * 64 + Ch<L>(D, 0)], c.cT[s1 * 64 + Ch<L>(D, 1)],
                                                c.cT[s2 * 64 + Ch<L>(D, 2)]));
  } else if constexpr (V == kRule || V == kRuleP) {
    constexpr bool UP = V == kRuleP;
    if constexpr (K == kAlphaTrans) {
      if (a == 255)
        Rule<L, UP, false, M>(dp, S, s0, s1, s2, a, m, c);
      else
        Rule<L, UP, true, M>(dp, S, s0, s1, s2, a, m, c);
    } else {
      Rule<L, UP, K == kAlphaAll, M>(dp, S, s0, s1, s2, a, m, c);
    }
  } else {
    if constexpr (K == kAlphaTrans) {
      if (a == 255)
        Arith<L, V, false, M>(dp, s0, s1, s2, a, m, c);
      else
        Arith<L, V, true, M>(dp, s0, s1, s2, a, m, c);
    } else {
      Arith<L, V, K == kAlphaAll, M>(dp, s0, s1, s2, a, m, c);
    }
  }
}

// One row of a drawing at a position: source, mask and destination advance together.
template <class L, int K, bool T, int V, bool M, bool BR>
void RowAt(typename L::D* d, const typename SrcElem<L, K>::T* s, const uint8_t* mk, int n, const Ctx& c) {
  for (int i = 0; i < n; ++i) Px<L, K, T, V, M, BR>(d + i, s[i], M ? c.maskTable[mk[i]] : 0u, c);
}

// One span of a mapped drawing: every pixel of the span samples inside the
// source, at (sx >> 18, sy >> 18) stepping by (dx, dy).
template <class L, int K, bool T, int V, bool M, bool BR>
void RowMapped(typename L::D* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch, int64_t sx,
               int64_t sy, int64_t dx, int64_t dy, int n, const Ctx& c) {
  using E = typename SrcElem<L, K>::T;
  for (int i = 0; i < n; ++i) {
    int64_t col = sx >> 18, row = sy >> 18;
    E sv = reinterpret_cast<const E*>(src + row * spitch)[col];
    uint32_t m = 0;
    if constexpr (M) m = c.maskTable[mk[row * mpitch + col]];
    Px<L, K, T, V, M, BR>(d + i, sv, m, c);
    sx += dx;
    sy += dy;
  }
}

}  // namespace render
}  // namespace qx

#endif
