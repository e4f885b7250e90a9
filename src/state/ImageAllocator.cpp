#include "state/ImageAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace zmr {

namespace {
// Below this a block is simply cleared.
constexpr std::size_t kPagedBytes = std::size_t{2} << 20;
}  // namespace

void* AllocateZeroedBlock(std::size_t bytes) {
  void* block = ::operator new(bytes == 0 ? 1 : bytes);
  if (bytes < kPagedBytes) {
    std::memset(block, 0, bytes);
    return block;
  }
  // The whole pages inside the block go back to the system, which gives them again as zero
  // pages when they are written; the parts of pages at either end are cleared by hand.
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t end = begin + bytes;
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = end / page * page;
  if (first >= last) {
    std::memset(block, 0, bytes);
    return block;
  }
  std::memset(block, 0, first - begin);
  std::memset(reinterpret_cast<void*>(last), 0, end - last);
  void* pages = reinterpret_cast<void*>(first);
  if (madvise(pages, last - first, MADV_DONTNEED) != 0) std::memset(pages, 0, last - first);
  // No huge-page advice (MADV_HUGEPAGE): where the system compacts memory for advised faults,
  // the first writes of the arrays stalled on it and the calibration took longer.
  return block;
}

}  // namespace zmr
