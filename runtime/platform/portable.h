// The few things that differ between the native builds and the single-threaded
// 32-bit WebAssembly build, answered in one place for the rest of the runtime.
#ifndef QUARNEX_RUNTIME_PLATFORM_PORTABLE_H
#define QUARNEX_RUNTIME_PLATFORM_PORTABLE_H

namespace qx {

// Whether threads can be started at all. Where they cannot, work that would go
// to a thread of its own is done on the calling thread instead.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool kThreadsAvailable = false;
#else
inline constexpr bool kThreadsAvailable = true;
#endif

// Whether the renderer's AVX2 and AVX-512 kernels are built in.
#if defined(__x86_64__) || defined(__i386__)
inline constexpr bool kWideVectorKernels = true;
#else
inline constexpr bool kWideVectorKernels = false;
#endif

// The processor's wider vector extensions (all false where they cannot be asked).
struct CpuVectorFeatures {
  bool avx2;
  bool avx512;  // F, BW and VL together
};
CpuVectorFeatures DetectCpuVectorFeatures();

// The kernel's id of the calling thread (the process id where there is only one).
long KernelThreadId();

}  // namespace qx

#endif
