// The renderer's vector paths at the AVX2 level.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "runtime/graphics/renderer_internal.h"

// Only the code below is built for the level; what the headers above define is not.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif

#define QX_VEC_NS vec_avx2
#define QX_VEC_BYTES 32
#define QX_VEC_OPS kVecAvx2
#include "runtime/graphics/renderer_vec.h"

#if defined(__clang__)
#pragma clang attribute pop
#endif
