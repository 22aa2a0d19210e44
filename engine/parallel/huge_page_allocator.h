#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace rs {

// Allocates arrays of 2 MB and more on 2 MB boundaries and asks Linux to back them with huge
// pages: a segment's bitmap of some MB then costs a few page faults instead of thousands,
// which on a one-point run was several per cent of the CPU time. Smaller arrays, and other
// systems, get plain memory.
template <typename T>
class HugePageAllocator {
  public:
    using value_type = T;
    static constexpr std::size_t kHugePage = std::size_t{1} << 21;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>& /*other*/) {}  // NOLINT: rebinding converts

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePage) {
            return static_cast<T*>(::operator new(bytes));
        }
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* memory = std::aligned_alloc(kHugePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Only advice: without huge pages the memory works the same.
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, std::size_t n) {
        if (n * sizeof(T) < kHugePage) {
            ::operator delete(memory);
        } else {
            std::free(memory);
        }
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U>& /*other*/) const {
        return true;
    }
};

}  // namespace rs
