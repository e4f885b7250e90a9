#include "state/PageWarmer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>

namespace zmr {

namespace {

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Pages warmed per request: a stop or the end of the owner's work is seen within one piece.
constexpr std::size_t kPieceBytes = std::size_t{4} << 20;

}  // namespace

PageWarmer::PageWarmer(std::vector<Region> regions, const std::atomic<int>* stop) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (page == 0 || regions.empty()) return;
  // Pages supplied ahead are memory taken before it is needed, and perhaps never (a detection
  // alone): only while they come to at most half of the memory the system has free.
  std::size_t total = 0;
  for (const Region& region : regions) total += region.bytes;
  const long freePages = sysconf(_SC_AVPHYS_PAGES);
  if (freePages <= 0 || total / page > static_cast<std::size_t>(freePages) / 2) return;
  try {
    thread_ = std::thread([this, page, stop, regions = std::move(regions)] {
      for (const Region& region : regions) {
        // The whole pages inside the region: advice must start on a page boundary.
        const auto begin = reinterpret_cast<std::uintptr_t>(region.data);
        const std::uintptr_t first = (begin + page - 1) / page * page;
        const std::uintptr_t last = (begin + region.bytes) / page * page;
        for (std::uintptr_t at = first; at < last; at += kPieceBytes) {
          if (finish_.load(std::memory_order_relaxed) ||
              (stop != nullptr && stop->load(std::memory_order_relaxed) != 0)) {
            return;
          }
          const std::size_t bytes = std::min<std::uintptr_t>(kPieceBytes, last - at);
          // EINVAL: a system without the advice; nothing more is tried.
          if (madvise(reinterpret_cast<void*>(at), bytes, MADV_POPULATE_WRITE) != 0) return;
        }
      }
    });
  } catch (const std::system_error&) {
    // No second thread: the pages come with the first writes, as they would anyway.
  }
}

void PageWarmer::WaitUntilWarm() {
  if (thread_.joinable()) thread_.join();
}

PageWarmer::~PageWarmer() {
  finish_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

}  // namespace zmr
