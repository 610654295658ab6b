// The renderer's vector paths at the AVX2 level.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "runtime/graphics/renderer_internal.h"

// Only the code below is built for the level; what the headers above define is not.
#pragma GCC target("avx2")

#define QX_VEC_NS vec_avx2
#define QX_VEC_BYTES 32
#define QX_VEC_OPS kVecAvx2
#include "runtime/graphics/renderer_vec.h"
