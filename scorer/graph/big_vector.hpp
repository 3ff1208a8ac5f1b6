#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace vornel {

// Gives arrays of 2 MiB and more mappings of their own with transparent huge pages requested:
// filling a fresh array then takes one page fault per 2 MiB instead of one per 4 KiB, and on
// virtual machines those faults are a large share of reading a network. Smaller arrays come
// from the usual heap.
template <class T>
struct huge_page_allocator {
    using value_type = T;
    static constexpr std::size_t mapped_from = std::size_t{2} << 20;

    huge_page_allocator() = default;
    template <class U>
    huge_page_allocator(const huge_page_allocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < mapped_from) return std::allocator<T>{}.allocate(count);
        void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        ::madvise(memory, bytes, MADV_HUGEPAGE);  // a hint: refusal is harmless
        return static_cast<T*>(memory);
    }
    void deallocate(T* data, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < mapped_from) {
            std::allocator<T>{}.deallocate(data, count);
        } else {
            ::munmap(data, bytes);
        }
    }
    friend bool operator==(const huge_page_allocator&, const huge_page_allocator&) { return true; }
};

// A std::vector for the arrays that grow with the network (partners, pairs, their indexes).
template <class T>
using big_vector = std::vector<T, huge_page_allocator<T>>;

}  // namespace vornel
