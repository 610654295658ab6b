#include "runtime/platform/portable.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace qx {

CpuVectorFeatures DetectCpuVectorFeatures() {
  CpuVectorFeatures f{};
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  f.avx2 = __builtin_cpu_supports("avx2");
  f.avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl");
#endif
  return f;
}

long KernelThreadId() {
#if defined(SYS_gettid)
  return syscall(SYS_gettid);
#else
  return getpid();
#endif
}

}  // namespace qx
