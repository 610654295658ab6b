// The choice of the renderer's vector level: what the processor has, what
// QUARNEX_SIMD asks for, and the paths of the level in force.
#include <stdlib.h>
#include <strings.h>

#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"
#include "runtime/platform/portable.h"

namespace qx {

namespace {

int Detect() {
  const CpuVectorFeatures cpu = DetectCpuVectorFeatures();
  if (cpu.avx512) return kSimdAvx512;
  if (cpu.avx2) return kSimdAvx2;
  return kSimdSse2;  // every x86-64 has it; WebAssembly's SIMD128 stands in for it
}

int g_level = RendererStartSimdLevel(getenv("QUARNEX_SIMD"));

const VecOps* Ops() {
  switch (g_level) {
    case kSimdSse2: return &kVecSse2;
    case kSimdAvx2:
      if constexpr (kWideVectorKernels) return &kVecAvx2;
      return nullptr;
    case kSimdAvx512:
      if constexpr (kWideVectorKernels) return &kVecAvx512;
      return nullptr;
    default: return nullptr;
  }
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
  const VecOps* ops = Ops();
  return ops && ops->drawAt(plan, d, dpitch, s, spitch, m, mpitch, w, h);
}

bool SimdMappedRow(const DrawPlan& plan, uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch,
                   int64_t sx, int64_t sy, int64_t dx, int64_t dy, int n) {
  const VecOps* ops = Ops();
  return ops && ops->mappedRow(plan, d, src, spitch, mk, mpitch, sx, sy, dx, dy, n);
}

bool SimdMappedBlock(const DrawPlan& plan, const MappedBlock& block) {
  const VecOps* ops = Ops();
  return ops && ops->mappedBlock(plan, block);
}

int SimdFillRow(const FillPlan& plan, uint8_t* row, int w) {
  const VecOps* ops = Ops();
  return ops ? ops->fillRow(plan, row, w) : 0;
}

}  // namespace qx
