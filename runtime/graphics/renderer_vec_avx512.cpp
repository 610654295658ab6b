// The renderer's vector paths at the AVX512 level.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "runtime/graphics/renderer_internal.h"

// Only the code below is built for the level; what the headers above define is not.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl"))), apply_to = function)
#else
#pragma GCC target("avx512f,avx512bw,avx512vl")
#endif

#define QX_VEC_NS vec_avx512
#define QX_VEC_BYTES 64
#define QX_VEC_OPS kVecAvx512
#include "runtime/graphics/renderer_vec.h"

#if defined(__clang__)
#pragma clang attribute pop
#endif
