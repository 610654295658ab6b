// The renderer's vector paths at the SSE2 level.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "runtime/graphics/renderer_internal.h"

#define QX_VEC_NS vec_sse2
#define QX_VEC_BYTES 16
#define QX_VEC_OPS kVecSse2
#include "runtime/graphics/renderer_vec.h"
