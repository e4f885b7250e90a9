// The allocator of the image arrays (ImageVector<T>): zero-filled memory whose pages the
// system supplies only when the program first writes them. A block of 2 MiB or more comes
// from operator new as any other (so limits on it apply as usual), and its whole pages are
// handed back to the system at once (MADV_DONTNEED: they read as zero and cost nothing until
// written), so creating an array writes nothing and touches no page.
//
// Element construction without a value does nothing: the elements of a new array read as zero
// because its memory is zero. Growing an array with resize() within capacity it once had would
// therefore show earlier values: the image arrays are created whole (AllocateImageArrays) or
// copied or assigned with a value, never grown.
//
// Threads: any thread; the allocator holds no state.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <vector>

namespace zmr {

// bytes of zero-filled memory from operator new (throws std::bad_alloc as it does); release
// it with operator delete.
void* AllocateZeroedBlock(std::size_t bytes);

template <class T>
struct ImageAllocator {
  static_assert(std::is_trivially_default_constructible_v<T>, "image elements are plain values");
  using value_type = T;

  ImageAllocator() noexcept = default;
  template <class U>
  ImageAllocator(const ImageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateZeroedBlock(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept { ::operator delete(p); }

  // Without a value: left as the zero-filled memory holds it.
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
  }

  template <class U>
  bool operator==(const ImageAllocator<U>&) const noexcept {
    return true;
  }
};

// An image array: cxDib x cyDib elements, row-major.
template <class T>
using ImageVector = std::vector<T, ImageAllocator<T>>;

}  // namespace zmr
