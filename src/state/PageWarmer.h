// Pages of arrays made ready ahead of their first writes, on a second core. A new image array's
// pages cost the system a fault each when first written (tens of thousands at a large image,
// which a second thread cannot share: the faults of two threads queue in the system). The
// detection does not use the arrays of the adjustment and the transformation, so while it runs
// a PageWarmer has the system supply their pages (madvise MADV_POPULATE_WRITE), and the later
// steps write them without a fault. The contents of the arrays are not touched: a page already
// present stays as it is, a new one still reads as zero.
//
// Threads: construct and destroy it on the thread that owns the arrays; the arrays must neither
// be freed nor resized while it lives (the destructor waits for the warming to end). Where the
// system lacks the advice, a thread cannot be started, or the regions come to more than half of
// the system's free memory, it does nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace zmr {

class PageWarmer {
 public:
  struct Region {
    void* data;
    std::size_t bytes;
  };
  // Starts warming the regions, in order, in pieces; stops early once *stop becomes nonzero.
  PageWarmer(std::vector<Region> regions, const std::atomic<int>* stop);
  // Waits until every region is warmed (or the stop came); the destructor instead ends the
  // warming after the piece in hand.
  void WaitUntilWarm();
  ~PageWarmer();
  PageWarmer(const PageWarmer&) = delete;
  PageWarmer& operator=(const PageWarmer&) = delete;

 private:
  std::atomic<bool> finish_{false};
  std::thread thread_;
};

}  // namespace zmr
