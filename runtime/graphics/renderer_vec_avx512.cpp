// The renderer's vector paths at the AVX512 level.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "runtime/graphics/renderer_internal.h"

// Only the code below is built for the level; what the headers above define is not.
#pragma GCC target("avx512f,avx512bw,avx512vl")

#define QX_VEC_NS vec_avx512
#define QX_VEC_BYTES 64
#define QX_VEC_OPS kVecAvx512
#include "runtime/graphics/renderer_vec.h"
