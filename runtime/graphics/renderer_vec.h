// The vector paths of the software renderer, written once over the vector
// width and compiled once per level (renderer_vec_*.cpp), each inside its own
// namespace so that no instantiation of one level is ever used by another.
// They cover 32-bit targets with direct or alpha sources, every blend mode,
// brightness and blend masks; they give exactly the bytes of the scalar
// kernels (the tests compare both with the reference).
//
// Every weighted rule is one formula per channel: d' = ((d << sh) + (s - d) * W) >> sh
// with unsigned wrap-around, exact because the true sum lies in 0 .. 2^32.
// Alpha 255 under the trans flag drops its weight: it counts as 256 one
// shift up, which gives the same value.
//
// The including file defines QX_VEC_NS (namespace), QX_VEC_BYTES (16, 32 or
// 64) and QX_VEC_OPS (the exported table), and sets the processor target.

namespace qx {
namespace QX_VEC_NS {

using namespace render;

constexpr int N = QX_VEC_BYTES / 4;
constexpr int kFull = N == 32 ? -1 : (1 << N) - 1;
typedef uint32_t V __attribute__((vector_size(QX_VEC_BYTES)));
typedef int32_t VI __attribute__((vector_size(QX_VEC_BYTES)));
typedef uint16_t V16 __attribute__((vector_size(QX_VEC_BYTES)));
typedef uint8_t V8 __attribute__((vector_size(QX_VEC_BYTES)));

#define QX_INLINE inline __attribute__((always_inline))

QX_INLINE V Load(const void* p) {
  V v;
  memcpy(&v, p, sizeof v);
  return v;
}
QX_INLINE void Store(void* p, V v) { memcpy(p, &v, sizeof v); }
QX_INLINE V Splat(uint32_t x) { return V{} + x; }
QX_INLINE V Sel(VI m, V a, V b) { return m ? a : b; }

// One bit per lane whose comparison result is set.
QX_INLINE int Bits(VI m) {
#if QX_VEC_BYTES == 16
  return _mm_movemask_ps(reinterpret_cast<__m128>(m));
#elif QX_VEC_BYTES == 32
  return _mm256_movemask_ps(reinterpret_cast<__m256>(m));
#else
  return _mm512_test_epi32_mask(reinterpret_cast<__m512i>(m), reinterpret_cast<__m512i>(m));
#endif
}

// 32-bit pixels at base[idx[i]]; every index must be inside the picture.
QX_INLINE V Gather(const uint32_t* base, VI idx) {
#if QX_VEC_BYTES == 32
  return reinterpret_cast<V>(_mm256_i32gather_epi32(reinterpret_cast<const int*>(base),
                                                    reinterpret_cast<__m256i>(idx), 4));
#elif QX_VEC_BYTES == 64
  // The masked form: the plain one leaves its source register undefined, which g++ warns about.
  return reinterpret_cast<V>(
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, reinterpret_cast<__m512i>(idx), base, 4));
#else
  V r{};
  for (int i = 0; i < N; ++i) r[i] = base[idx[i]];
  return r;
#endif
}

// x / 255 for x in 0 .. 65025, in 16-bit lanes: the B table's values.
QX_INLINE V16 Div255(V16 x) { return (x + 1 + (x >> 8)) >> 8; }

// Constants of one drawing.
struct K {
  V p, key;
  V16 brRB, brG;  // brightness of blue and red, of green, per 16-bit lane
  V16 pRB;        // the parameter in every 16-bit lane
  const uint8_t* maskTable;
};

// The source's colour channels through the brightness table; the fourth byte stays.
QX_INLINE V Bright(V S, const K& k) {
  V m = Splat(0x00FF00FF);
  V rb = reinterpret_cast<V>(Div255(reinterpret_cast<V16>(S & m) * k.brRB));
  V g = reinterpret_cast<V>(Div255(reinterpret_cast<V16>((S >> 8) & 255) * k.brG));
  return (S & 0xFF000000u) | rb | (g << 8);
}

// One weight W in 0 .. 256 per lane: two channels per lane in 16-bit
// products, since s * W + d * (256 - W) stays below 2^16.
QX_INLINE V MixOne(V S, V D, V W) {
  V m = Splat(0x00FF00FF);
  V16 w = reinterpret_cast<V16>(W | (W << 16));
  V16 inv = 256 - w;
  V16 rb = reinterpret_cast<V16>(S & m) * w + reinterpret_cast<V16>(D & m) * inv;
  V16 g = reinterpret_cast<V16>((S >> 8) & m) * w + reinterpret_cast<V16>((D >> 8) & m) * inv;
  return (D & 0xFF000000u) | reinterpret_cast<V>(rb >> 8) | (reinterpret_cast<V>(g) & 0x0000FF00u);
}

template <int Sh, int Shift>
QX_INLINE V MixChannel(V S, V D, V W) {
  V s = (S >> Shift) & 255, d = (D >> Shift) & 255;
  return (((d << Sh) + (s - d) * W) >> Sh) << Shift;
}

// Several weights multiplied into W, shifted by Sh = 8 per weight.
template <int Sh>
QX_INLINE V MixMany(V S, V D, V W) {
  return (D & 0xFF000000u) | MixChannel<Sh, 0>(S, D, W) | MixChannel<Sh, 8>(S, D, W) | MixChannel<Sh, 16>(S, D, W);
}

template <int Var, int Shift>
QX_INLINE V ArithChannel(V S, V D, V W, int sh, bool weighted, const K& k) {
  V s = (S >> Shift) & 255, d = (D >> Shift) & 255;
  V out;
  if constexpr (Var == kMul) {
    V t = (d * s) >> 8;
    out = weighted ? ((d << sh) + (t - d) * W) >> sh : t;
  } else {
    V v = reinterpret_cast<V>(Div255(reinterpret_cast<V16>(s) * k.pRB));
    if (weighted) v = (v * W) >> sh;
    if constexpr (Var == kAdd)
      out = Sel(d + v > 255, Splat(255), d + v);
    else
      out = Sel(d > v, d - v, Splat(0));
  }
  return out << Shift;
}

// Add, subtract or multiply, then the weights W (shift sh) towards the result.
template <int Var, int Sh>
QX_INLINE V Arith(V S, V D, V W, const K& k) {
  constexpr bool weighted = Sh > 0;
  return (D & 0xFF000000u) | ArithChannel<Var, 0>(S, D, W, Sh, weighted, k) |
         ArithChannel<Var, 8>(S, D, W, Sh, weighted, k) | ArithChannel<Var, 16>(S, D, W, Sh, weighted, k);
}

// The rule's mix for weights W of count n (n >= 1).
template <int n>
QX_INLINE V Mix(V S, V D, V W) {
  if constexpr (n == 1)
    return MixOne(S, D, W);
  else
    return MixMany<8 * n>(S, D, W);
}

// New destination pixels for raw source pixels R over D; m holds mask weights.
template <int Kind, bool Key, int Var, bool UM, bool BR>
QX_INLINE V Blend(V R, V D, V m, const K& k) {
  constexpr bool alpha = Kind == kAlphaTrans || Kind == kAlphaAll;
  constexpr bool UP = Var == kRuleP;
  V S = BR ? Bright(R, k) : R;
  VI keep{};  // lanes whose destination stays
  if constexpr (Key) keep = R == k.key;
  V r{};
  if constexpr (Var == kHalf) {
    r = ((S >> 1) & 0x7F7F7Fu) + ((D >> 1) & 0x7F7F7Fu);
  } else if constexpr (Var == kRule || Var == kRuleP) {
    constexpr int rest = (UP ? 1 : 0) + (UM ? 1 : 0);
    constexpr int n = rest + (alpha ? 1 : 0);
    V W = Splat(1);
    if constexpr (UP) W = k.p;
    if constexpr (UM) W = UP ? W * m : m;
    if constexpr (n == 0) {
      r = S;
    } else if constexpr (Kind == kAlphaTrans) {
      V a = R >> 24;
      VI full = a == 255, clear = a == 0;
      keep = clear;
      int fullBits = Bits(full), clearBits = Bits(clear);
      if ((fullBits | clearBits) == kFull) {
        // Only clear and opaque pixels: no alpha weight at all.
        if constexpr (rest == 0)
          r = S;
        else
          r = Mix<rest>(S, D, W);
      } else if constexpr (rest == 0) {
        r = Sel(full, S, MixOne(S, D, a));
      } else {
        r = Mix<n>(S, D, W * Sel(full, Splat(256), a));
      }
    } else {
      if constexpr (alpha) W = rest ? W * (R >> 24) : R >> 24;
      r = Mix<n>(S, D, W);
    }
  } else {
    constexpr int n = (UM ? 1 : 0) + (alpha ? 1 : 0);
    V W = UM ? m : Splat(1);
    if constexpr (Kind == kAlphaTrans) {
      V a = R >> 24;
      keep = a == 0;
      W = UM ? W * Sel(a == 255, Splat(256), a) : Sel(a == 255, Splat(256), a);
    } else if constexpr (Kind == kAlphaAll) {
      W = UM ? W * (R >> 24) : R >> 24;
    }
    r = Arith<Var, 8 * n>(S, D, W, k);
  }
  if constexpr (Key || Kind == kAlphaTrans) r = Sel(keep, D, r);
  return r;
}

// True when no pixel of the group is drawn (keyed or clear); such groups are
// neither read nor written on the destination side.
template <int Kind, bool Key>
QX_INLINE bool Invisible(V R, const K& k) {
  if constexpr (Key) return Bits(R == k.key) == kFull;
  if constexpr (Kind == kAlphaTrans) return Bits((R >> 24) == 0) == kFull;
  return false;
}

// True when every pixel of the group is the source pixel whole, so that the
// destination need not be read.
template <int Kind, bool Key, int Var, bool UM>
QX_INLINE bool Covers(V R, const K& k) {
  if constexpr (Var != kRule || UM)
    return false;
  else if constexpr (Kind == kAlphaTrans)
    return Bits((R >> 24) == 255) == kFull;
  else if constexpr (Key)
    return Bits(R == k.key) == 0;
  else
    return Kind == kDirect || Kind == kAlphaIgnore;
}

QX_INLINE V MaskWeights(const uint8_t* mk, const K& k) {
  V m{};
  for (int i = 0; i < N; ++i) m[i] = k.maskTable[mk[i]];
  return m;
}

template <int Kind, bool Key, int Var, bool UM, bool BR>
void RowsAt(uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* mk, int mpitch, int w, int h,
            const K& k) {
  int groups = w / N, tail = w % N;
  for (int y = 0; y < h; ++y) {
    uint32_t* dr = reinterpret_cast<uint32_t*>(d + static_cast<ptrdiff_t>(y) * dpitch);
    const uint32_t* sr = reinterpret_cast<const uint32_t*>(s + static_cast<ptrdiff_t>(y) * spitch);
    const uint8_t* mr = UM ? mk + static_cast<ptrdiff_t>(y) * mpitch : nullptr;
    for (int g = 0; g < groups; ++g) {
      V R = Load(sr + N * g);
      if (Invisible<Kind, Key>(R, k)) continue;
      if (Covers<Kind, Key, Var, UM>(R, k)) {
        Store(dr + N * g, BR ? Bright(R, k) : R);
        continue;
      }
      V m{};
      if constexpr (UM) m = MaskWeights(mr + N * g, k);
      Store(dr + N * g, Blend<Kind, Key, Var, UM, BR>(R, Load(dr + N * g), m, k));
    }
    if (tail) {
      // The last pixels go through the same group in a buffer.
      uint32_t sb[N] = {}, db[N] = {};
      uint8_t mb[N] = {};
      memcpy(sb, sr + N * groups, tail * 4);
      memcpy(db, dr + N * groups, tail * 4);
      if constexpr (UM) memcpy(mb, mr + N * groups, tail);
      V m{};
      if constexpr (UM) m = MaskWeights(mb, k);
      Store(db, Blend<Kind, Key, Var, UM, BR>(Load(sb), Load(db), m, k));
      memcpy(dr + N * groups, db, tail * 4);
    }
  }
}

// N pixels of a picture row picked by lane indices 0 .. N-1.
QX_INLINE V Pick(V row, V idx) {
#if QX_VEC_BYTES == 64
  // The zero-masked form: the plain one leaves its source register undefined, which g++ warns about.
  return reinterpret_cast<V>(
      _mm512_maskz_permutexvar_epi32(0xFFFF, reinterpret_cast<__m512i>(idx), reinterpret_cast<__m512i>(row)));
#elif QX_VEC_BYTES == 32
  return reinterpret_cast<V>(_mm256_permutevar8x32_epi32(reinterpret_cast<__m256i>(row), reinterpret_cast<__m256i>(idx)));
#else
  V r{};
  for (int i = 0; i < N; ++i) r[i] = row[idx[i]];
  return r;
#endif
}

// Rows of the loaded window: enough for every angle at scales from about 1.5
// up. Four lanes pick no faster than they fetch, so SSE2 has none.
constexpr int kWindowRows = N >= 16 ? 4 : (N >= 8 ? 2 : 0);

// Whether the groups of a walk stepping `along` columns and `across` rows
// per pixel (18 fraction bits) lie within N columns and kWindowRows rows.
QX_INLINE bool WindowFits(int64_t along, int64_t across) {
  return kWindowRows > 0 && (along < 0 ? -along : along) <= (int64_t{1} << 18) &&
         (N - 1) * (across < 0 ? -across : across) <= (static_cast<int64_t>(kWindowRows) - 1) << 18;
}

// N pixels at (X, Y), all inside the picture, within the N columns from cLo
// and the rows rLo to rHi: those rows are loaded whole and the pixels picked.
QX_INLINE V FetchWindow(const uint32_t* src, int stride, int srcW, V X, V Y, int64_t cLo, int64_t rLo,
                        int64_t rHi) {
  // Kept inside the row: the window never reaches past the picture.
  int64_t base = cLo + N <= srcW ? cLo : srcW - N;
  V idx = (X >> 18) - static_cast<uint32_t>(base);
  V rows = (Y >> 18) - static_cast<uint32_t>(rLo);
  const uint32_t* top = src + rLo * stride + base;
  V R = Pick(Load(top), idx);
  for (int r = 1; r <= rHi - rLo; ++r) R = Sel(rows == static_cast<uint32_t>(r), Pick(Load(top + r * stride), idx), R);
  return R;
}

// One whole group of a mapped span: R sampled at positions (X, Y).
template <int Kind, bool Key, int Var, bool UM, bool BR>
QX_INLINE void BlendGroup(uint32_t* d, V R, V X, V Y, const uint8_t* mk, int mpitch, const K& k) {
  if (Invisible<Kind, Key>(R, k)) return;
  if (Covers<Kind, Key, Var, UM>(R, k)) {
    Store(d, BR ? Bright(R, k) : R);
    return;
  }
  V m{};
  if constexpr (UM) {
    V col = X >> 18, row = Y >> 18;
    for (int j = 0; j < N; ++j) m[j] = k.maskTable[mk[static_cast<ptrdiff_t>(row[j]) * mpitch + col[j]]];
  }
  Store(d, Blend<Kind, Key, Var, UM, BR>(R, Load(d), m, k));
}

// A mapped span: pixel i samples (sx + i dx, sy + i dy) >> 18, all inside
// the source, every position below 2^31. 32-bit lanes wrap alike, so the low
// 32 bits of the positions are exact.
template <int Kind, bool Key, int Var, bool UM, bool BR>
void SpanMapped(uint32_t* d, const uint32_t* src, int stride, int srcW, const uint8_t* mk, int mpitch, int64_t sx,
                int64_t sy, int64_t dx, int64_t dy, int n, const K& k) {
  VI lane{};
  for (int i = 0; i < N; ++i) lane[i] = i;
  V X = Splat(static_cast<uint32_t>(sx)) + reinterpret_cast<V>(lane) * static_cast<uint32_t>(dx);
  V Y = Splat(static_cast<uint32_t>(sy)) + reinterpret_cast<V>(lane) * static_cast<uint32_t>(dy);
  uint32_t stepX = static_cast<uint32_t>(N * dx), stepY = static_cast<uint32_t>(N * dy);
  auto index = [&](V X, V Y) { return reinterpret_cast<VI>((Y >> 18) * static_cast<uint32_t>(stride) + (X >> 18)); };
  int groups = n / N;
  int64_t gx = sx, gy = sy;  // the group's first position
  // Groups within N columns of a few rows (scales from about 1 up at small
  // angles, and every unturned drawing) load those rows whole and pick their
  // pixels, which costs far less than fetching each one.
  bool window = srcW >= N && WindowFits(dx, dy);
  if (!window) {
    // Each group's source fetched two groups ahead, so that the fetches overlap the blending before them.
    V next{}, after{};
    V aX = X + stepX, aY = Y + stepY;
    if (groups) next = Gather(src, index(X, Y));
    if (groups > 1) after = Gather(src, index(aX, aY));
    for (int g = 0; g < groups; ++g) {
      V R = next;
      V gX = X, gY = Y;
      next = after;
      X = aX;
      Y = aY;
      aX += stepX;
      aY += stepY;
      if (g + 2 < groups) after = Gather(src, index(aX, aY));
      BlendGroup<Kind, Key, Var, UM, BR>(d + N * g, R, gX, gY, mk, mpitch, k);
    }
  }
  for (int g = 0; window && g < groups; ++g) {
    // The steps bound the group to fewer than N columns and kWindowRows rows.
    int64_t c0 = gx >> 18, c1 = (gx + (N - 1) * dx) >> 18;
    int64_t r0 = gy >> 18, r1 = (gy + (N - 1) * dy) >> 18;
    V R = FetchWindow(src, stride, srcW, X, Y, c0 < c1 ? c0 : c1, r0 < r1 ? r0 : r1, r0 < r1 ? r1 : r0);
    BlendGroup<Kind, Key, Var, UM, BR>(d + N * g, R, X, Y, mk, mpitch, k);
    X += stepX;
    Y += stepY;
    gx += N * dx;
    gy += N * dy;
  }
  int left = n % N;
  if (left) {
    // Lanes past the span read the first pixel instead of outside the picture.
    VI idx = lane < left ? index(X, Y) : VI{};
    V R = Gather(src, idx);
    V m{};
    if constexpr (UM) {
      V col = X >> 18, row = Y >> 18;
      for (int j = 0; j < left; ++j) m[j] = k.maskTable[mk[static_cast<ptrdiff_t>(row[j]) * mpitch + col[j]]];
    }
    uint32_t db[N] = {};
    memcpy(db, d + N * groups, left * 4);
    Store(db, Blend<Kind, Key, Var, UM, BR>(R, Load(db), m, k));
    memcpy(d + N * groups, db, left * 4);
  }
}

#if QX_VEC_BYTES == 64
// 16 groups of 16 pixels turned about the diagonal: lane i of group k
// becomes lane k of group i. (Masked forms: the plain ones leave a source
// register undefined, which g++ warns about.)
QX_INLINE void Transpose(V* v) {
  __m512i r[16], t[16];
  for (int i = 0; i < 16; ++i) r[i] = reinterpret_cast<__m512i>(v[i]);
  for (int i = 0; i < 16; i += 2) {
    t[i] = _mm512_maskz_unpacklo_epi32(0xFFFF, r[i], r[i + 1]);
    t[i + 1] = _mm512_maskz_unpackhi_epi32(0xFFFF, r[i], r[i + 1]);
  }
  for (int i = 0; i < 16; i += 4) {
    r[i] = _mm512_maskz_unpacklo_epi64(0xFF, t[i], t[i + 2]);
    r[i + 1] = _mm512_maskz_unpackhi_epi64(0xFF, t[i], t[i + 2]);
    r[i + 2] = _mm512_maskz_unpacklo_epi64(0xFF, t[i + 1], t[i + 3]);
    r[i + 3] = _mm512_maskz_unpackhi_epi64(0xFF, t[i + 1], t[i + 3]);
  }
  // r[4q + j] holds, in its quarter L, column 4L + j of rows 4q .. 4q + 3.
  for (int j = 0; j < 4; ++j) {
    __m512i a0 = _mm512_maskz_shuffle_i32x4(0xFFFF, r[j], r[4 + j], 0x44);
    __m512i a1 = _mm512_maskz_shuffle_i32x4(0xFFFF, r[j], r[4 + j], 0xEE);
    __m512i b0 = _mm512_maskz_shuffle_i32x4(0xFFFF, r[8 + j], r[12 + j], 0x44);
    __m512i b1 = _mm512_maskz_shuffle_i32x4(0xFFFF, r[8 + j], r[12 + j], 0xEE);
    v[j] = reinterpret_cast<V>(_mm512_maskz_shuffle_i32x4(0xFFFF, a0, b0, 0x88));
    v[4 + j] = reinterpret_cast<V>(_mm512_maskz_shuffle_i32x4(0xFFFF, a0, b0, 0xDD));
    v[8 + j] = reinterpret_cast<V>(_mm512_maskz_shuffle_i32x4(0xFFFF, a1, b1, 0x88));
    v[12 + j] = reinterpret_cast<V>(_mm512_maskz_shuffle_i32x4(0xFFFF, a1, b1, 0xDD));
  }
}

// A block of rows whose own walk through the source is steep (a new source
// row at nearly every pixel, so each group would be fetched pixel by pixel)
// while the walk down a column stays within a few source rows: the block is
// sampled column by column from a window of those rows, turned, and blended
// row by row. Each pixel still samples its own position and is blended once.
template <int Kind, bool Key, int Var, bool BR>
void BlockMapped(const MappedBlock& b, int srcW, const K& k) {
  const uint32_t* src = reinterpret_cast<const uint32_t*>(b.src);
  const int stride = b.spitch / 4;
  VI lane{}, LO{}, HI{};
  int64_t colLo = INT64_MAX, colHi = INT64_MIN;
  for (int i = 0; i < N; ++i) {
    lane[i] = i;
    LO[i] = b.lo[i];
    HI[i] = b.hi[i];
    if (i < b.rows && b.lo[i] < b.hi[i]) {
      if (b.lo[i] < colLo) colLo = b.lo[i];
      if (b.hi[i] > colHi) colHi = b.hi[i];
    }
  }
  const V XB = Splat(static_cast<uint32_t>(b.sx)) + reinterpret_cast<V>(lane) * static_cast<uint32_t>(b.rowDx);
  const V YB = Splat(static_cast<uint32_t>(b.sy)) + reinterpret_cast<V>(lane) * static_cast<uint32_t>(b.rowDy);
  const V stepX = Splat(static_cast<uint32_t>(b.dx)), stepY = Splat(static_cast<uint32_t>(b.dy));
  // A column's pixels at (X, Y), all inside the source, lie between the
  // positions (xa, ya) and (xb, yb): within N columns and a few rows.
  auto fetch = [&](V X, V Y, int64_t xa, int64_t xb, int64_t ya, int64_t yb) {
    return FetchWindow(src, stride, srcW, X, Y, (xa < xb ? xa : xb) >> 18, (ya < yb ? ya : yb) >> 18,
                       (ya < yb ? yb : ya) >> 18);
  };
  // Columns inside every row's span need no lane checks.
  int32_t maxLo = b.lo[0], minHi = b.hi[0];
  for (int i = 1; i < N; ++i) {
    if (b.lo[i] > maxLo) maxLo = b.lo[i];
    if (b.hi[i] < minHi) minHi = b.hi[i];
  }
  for (int64_t c0 = colLo; c0 < colHi; c0 += N) {
    V C[N];
    if (b.rows == N && c0 >= maxLo && c0 + N <= minHi) {
      V X = XB + static_cast<uint32_t>(c0 * b.dx), Y = YB + static_cast<uint32_t>(c0 * b.dy);
      int64_t x = b.sx + c0 * b.dx, y = b.sy + c0 * b.dy;
      const int64_t ex = (N - 1) * b.rowDx, ey = (N - 1) * b.rowDy;
      for (int i = 0; i < N; ++i) {
        C[i] = fetch(X, Y, x, x + ex, y, y + ey);
        X += stepX;
        Y += stepY;
        x += b.dx;
        y += b.dy;
      }
    } else {
      for (int i = 0; i < N; ++i) {
        int32_t col = static_cast<int32_t>(c0 + i);
        VI valid = (LO <= col) & (HI > col);
        int bits = Bits(valid);
        if (!bits) {
          C[i] = V{};
          continue;
        }
        // Rows outside their span take the first inside one's position: every
        // lane then lies on the part of the walk that is inside the source.
        int kf = __builtin_ctz(static_cast<unsigned>(bits)), kl = 31 - __builtin_clz(static_cast<unsigned>(bits));
        int64_t xf = b.sx + kf * b.rowDx + col * b.dx, xl = b.sx + kl * b.rowDx + col * b.dx;
        int64_t yf = b.sy + kf * b.rowDy + col * b.dy, yl = b.sy + kl * b.rowDy + col * b.dy;
        V X = Sel(valid, XB + static_cast<uint32_t>(col * b.dx), Splat(static_cast<uint32_t>(xf)));
        V Y = Sel(valid, YB + static_cast<uint32_t>(col * b.dy), Splat(static_cast<uint32_t>(yf)));
        C[i] = fetch(X, Y, xf, xl, yf, yl);
      }
    }
    Transpose(C);
    for (int r = 0; r < b.rows; ++r) {
      int64_t lo = b.lo[r] - c0, hi = b.hi[r] - c0;
      if (lo < 0) lo = 0;
      if (hi > N) hi = N;
      if (lo >= hi) continue;
      uint32_t* d = reinterpret_cast<uint32_t*>(b.d + static_cast<ptrdiff_t>(r) * b.dpitch) + c0;
      V R = C[r];
      if (lo == 0 && hi == N) {
        if (Invisible<Kind, Key>(R, k)) continue;
        if (Covers<Kind, Key, Var, false>(R, k)) {
          Store(d, BR ? Bright(R, k) : R);
          continue;
        }
        Store(d, Blend<Kind, Key, Var, false, BR>(R, Load(d), V{}, k));
        continue;
      }
      // Only the row's own pixels are read and written.
      __mmask16 m = static_cast<__mmask16>(((1u << hi) - 1u) & ~((1u << lo) - 1u));
      V D = reinterpret_cast<V>(_mm512_maskz_loadu_epi32(m, d));
      _mm512_mask_storeu_epi32(d, m, reinterpret_cast<__m512i>(Blend<Kind, Key, Var, false, BR>(R, D, V{}, k)));
    }
  }
}
#endif

using AtFn = void (*)(uint8_t*, int, const uint8_t*, int, const uint8_t*, int, int, int, const K&);
using SpanFn = void (*)(uint32_t*, const uint32_t*, int, int, const uint8_t*, int, int64_t, int64_t, int64_t,
                        int64_t, int, const K&);
using BlockFn = void (*)(const MappedBlock&, int, const K&);
struct Fns {
  AtFn at;
  SpanFn span;
  BlockFn block;  // null where the level has none, and with a mask
};

template <int Kind, bool Key, int Var, bool UM, bool BR>
Fns Make() {
#if QX_VEC_BYTES == 64
  if constexpr (!UM)
    return Fns{&RowsAt<Kind, Key, Var, UM, BR>, &SpanMapped<Kind, Key, Var, UM, BR>, &BlockMapped<Kind, Key, Var, BR>};
#endif
  return Fns{&RowsAt<Kind, Key, Var, UM, BR>, &SpanMapped<Kind, Key, Var, UM, BR>, nullptr};
}

template <int Kind, bool Key, int Var, bool UM>
Fns PickBright(bool br) {
  return br ? Make<Kind, Key, Var, UM, true>() : Make<Kind, Key, Var, UM, false>();
}

template <int Kind, bool Key, int Var>
Fns PickMask(bool um, bool br) {
  if constexpr (Var == kHalf) return PickBright<Kind, Key, Var, false>(br);  // chosen only without a mask
  return um ? PickBright<Kind, Key, Var, true>(br) : PickBright<Kind, Key, Var, false>(br);
}

template <int Kind, bool Key>
Fns PickVariant(int var, bool um, bool br) {
  switch (var) {
    case kRule: return PickMask<Kind, Key, kRule>(um, br);
    case kRuleP: return PickMask<Kind, Key, kRuleP>(um, br);
    case kHalf:
      if constexpr (Kind == kDirect) return PickMask<Kind, Key, kHalf>(um, br);
      break;
    case kAdd: return PickMask<Kind, Key, kAdd>(um, br);
    case kSub: return PickMask<Kind, Key, kSub>(um, br);
    case kMul: return PickMask<Kind, Key, kMul>(um, br);
    default: break;
  }
  return Fns{nullptr, nullptr, nullptr};
}

Fns Pick(const DrawPlan& plan) {
  if (!plan.is32) return Fns{nullptr, nullptr, nullptr};
  switch (plan.kind) {
    case kDirect:
      return plan.keyTest ? PickVariant<kDirect, true>(plan.variant, plan.mask, plan.bright)
                          : PickVariant<kDirect, false>(plan.variant, plan.mask, plan.bright);
    case kAlphaTrans: return PickVariant<kAlphaTrans, false>(plan.variant, plan.mask, plan.bright);
    case kAlphaAll: return PickVariant<kAlphaAll, false>(plan.variant, plan.mask, plan.bright);
    case kAlphaIgnore:
      // Only plain mode-0 drawing without a mask copies alpha sources whole.
      if (plan.variant == kRule && !plan.mask) return PickBright<kAlphaIgnore, false, kRule, false>(plan.bright);
      break;
    default: break;
  }
  return Fns{nullptr, nullptr, nullptr};
}

void Consts(const Ctx& c, uint32_t brightness, K* k) {
  k->p = Splat(c.p);
  k->key = Splat(c.key);
  V16 one{};
  k->pRB = one + static_cast<uint16_t>(c.p);
  uint32_t b = brightness & 255, g = (brightness >> 8) & 255, r = (brightness >> 16) & 255;
  k->brRB = reinterpret_cast<V16>(Splat(b | (r << 16)));
  k->brG = reinterpret_cast<V16>(Splat(g));
  k->maskTable = c.maskTable;
}

bool DrawAt(const DrawPlan& plan, uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m, int mpitch,
            int w, int h) {
  Fns f = Pick(plan);
  if (!f.at) return false;
  K k;
  Consts(plan.ctx, plan.brightness, &k);
  f.at(d, dpitch, s, spitch, m, mpitch, w, h, k);
  return true;
}

bool MappedRow(const DrawPlan& plan, uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch,
               int64_t sx, int64_t sy, int64_t dx, int64_t dy, int n) {
  // Positions below 2^31 in 18-bit fixed point, 32-bit pixel indices.
  if (plan.srcW >= 8192 || plan.srcH >= 8192 || (spitch & 3) != 0) return false;
  if (static_cast<int64_t>(plan.srcH) * (spitch / 4) >= (int64_t{1} << 31)) return false;
  Fns f = Pick(plan);
  if (!f.span) return false;
  K k;
  Consts(plan.ctx, plan.brightness, &k);
  f.span(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(src), spitch / 4, plan.srcW, mk, mpitch,
         sx, sy, dx, dy, n, k);
  return true;
}

// Worth it only where a row's groups could not be fetched from a window of
// source rows but a column's can.
bool MappedBlockRows(const DrawPlan& plan, const MappedBlock& b) {
  if (plan.srcW >= 8192 || plan.srcH >= 8192 || plan.srcW < N || (b.spitch & 3) != 0) return false;
  if (static_cast<int64_t>(plan.srcH) * (b.spitch / 4) >= (int64_t{1} << 31)) return false;
  if (WindowFits(b.dx, b.dy) || !WindowFits(b.rowDx, b.rowDy)) return false;
  Fns f = Pick(plan);
  if (!f.block) return false;
  K k;
  Consts(plan.ctx, plan.brightness, &k);
  f.block(b, plan.srcW, k);
  return true;
}

template <int Var>
void FillBlend(uint32_t* d, int w, uint32_t color, uint32_t p) {
  K k;
  Ctx c{};
  c.p = p;
  Consts(c, 0xFFFFFF, &k);
  V S = Splat(color), zero{};
  int i = 0;
  for (; i + N <= w; i += N) Store(d + i, Blend<kDirect, false, Var, false, false>(S, Load(d + i), zero, k));
  if (i < w) {
    uint32_t db[N] = {};
    memcpy(db, d + i, (w - i) * 4);
    Store(db, Blend<kDirect, false, Var, false, false>(S, Load(db), zero, k));
    memcpy(d + i, db, (w - i) * 4);
  }
}

int FillRow(const FillPlan& plan, uint8_t* row, int w) {
  if (!plan.is32) return 0;
  uint32_t* d = reinterpret_cast<uint32_t*>(row);
  const uint32_t color = plan.color;
  switch (plan.mode) {
    case 0: {
      V c = Splat(color);
      int i = 0;
      for (; i + N <= w; i += N) Store(d + i, c);
      // The last pixels overlap the group before: storing a colour twice is harmless.
      if (i < w) {
        if (w >= N)
          Store(d + w - N, c);
        else
          for (; i < w; ++i) d[i] = color;
      }
      break;
    }
    case 1: FillBlend<kRuleP>(d, w, color, plan.p); break;
    case 2: FillBlend<kAdd>(d, w, color, plan.p); break;
    case 3: FillBlend<kSub>(d, w, color, plan.p); break;
    default: FillBlend<kMul>(d, w, color, plan.p); break;
  }
  return w;
}

}  // namespace QX_VEC_NS

extern const VecOps QX_VEC_OPS;
const VecOps QX_VEC_OPS = {&QX_VEC_NS::DrawAt, &QX_VEC_NS::MappedRow, &QX_VEC_NS::FillRow,
                           &QX_VEC_NS::MappedBlockRows};

}  // namespace qx
