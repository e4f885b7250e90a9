// A replacement of the global operator new and delete that records the largest single
// allocation made while a probe is alive, so tests can prove that nothing large is allocated
// before a file has shown its size. A probe can also refuse every allocation above a size, so
// tests can run out of memory on purpose. Compiled only into the executable that uses it. The
// operators themselves are thread-safe; create one probe at a time, on the test's thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zmr::test {

class AllocationProbe {
 public:
  // Starts recording from zero; allocations larger than failAbove bytes fail (the throwing
  // forms throw std::bad_alloc, the nothrow forms return nullptr).
  explicit AllocationProbe(std::size_t failAbove = SIZE_MAX);
  ~AllocationProbe();  // stops recording
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;

  // Size in bytes of the largest single operator new since the probe was made (any thread).
  std::size_t Largest() const;
};

}  // namespace zmr::test
