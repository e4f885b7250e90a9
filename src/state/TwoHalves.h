// Element-wise work over a large array split between two cores: the first half on the calling
// thread, the second on a thread of its own, joined before the call returns.
//
// Threads: any; part is called from two threads at once on disjoint ranges, so it must not
// throw and must write nothing the other half reads.
#pragma once

#include <cstddef>
#include <system_error>
#include <thread>

namespace zmr {

// Calls part(begin, end) for [0, count / 2) and [count / 2, count) at the same time when count
// is at least least and the machine has a second core; otherwise, or when no thread can be
// started, part(0, count) alone.
template <class Part>
void InTwoHalves(std::size_t count, std::size_t least, const Part& part) {
  if (count >= least && std::thread::hardware_concurrency() >= 2) {
    const std::size_t half = count / 2;
    std::thread other;
    try {
      other = std::thread([&part, half, count] { part(half, count); });
    } catch (const std::system_error&) {
      part(0, count);
      return;
    }
    part(0, half);
    other.join();
    return;
  }
  part(0, count);
}

}  // namespace zmr
