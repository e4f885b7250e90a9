#include "state/VectorState.h"

namespace zmr {

void ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool hasAvx = __builtin_cpu_supports("avx");
  if (hasAvx) __asm__ volatile("vzeroupper" ::: "memory");
#endif
}

}  // namespace zmr
