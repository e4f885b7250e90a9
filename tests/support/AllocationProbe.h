// A replacement of the global operator new and delete that records the largest single
// allocation made while a probe is alive, so tests can prove that nothing large is allocated
// before a file has shown its size. Compiled only into the executable that uses it. The
// operators themselves are thread-safe; create one probe at a time, on the test's thread.
#pragma once

#include <cstddef>

namespace zmr::test {

class AllocationProbe {
 public:
  AllocationProbe();   // starts recording from zero
  ~AllocationProbe();  // stops recording
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;

  // Size in bytes of the largest single operator new since the probe was made (any thread).
  std::size_t Largest() const;
};

}  // namespace zmr::test
