#pragma once

#include "scorer/graph/pair_ids.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <span>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace vornel {

// One scored pair: 16 bytes, ordered best first by plain comparison. `key` holds the inverted
// bits of a positive score (so larger scores give smaller keys); `tie` holds the tie-break
// position: (u << 32 | v) for candidates, the listed index for listed pairs.
struct score_record {
    std::uint64_t key;
    std::uint64_t tie;

    // One 128-bit comparison: branch-free, which matters in sorts of hundreds of millions.
    friend bool operator<(const score_record& x, const score_record& y) {
        __extension__ using wide = unsigned __int128;
        return ((wide(x.key) << 64) | x.tie) < ((wide(y.key) << 64) | y.tie);
    }
};

// For positive finite scores the IEEE bit patterns order like the values themselves.
inline std::uint64_t descending_key(double score) { return ~std::bit_cast<std::uint64_t>(score); }
inline double score_of(const score_record& record) { return std::bit_cast<double>(~record.key); }
inline std::uint64_t candidate_tie(std::uint32_t u, std::uint32_t v) {
    return (std::uint64_t{u} << 32) | v;
}
// The pair a candidate's tie stands for (the inverse of candidate_tie).
inline pair_ids pair_of(std::uint64_t tie) {
    return {static_cast<std::uint32_t>(tie >> 32), static_cast<std::uint32_t>(tie & 0xffffffffu)};
}

// Receives full blocks of records from a draining record_buffer.
using record_sink = std::function<void(std::span<const score_record>)>;

// A growable array of records in its own memory mapping. It grows with mremap, which moves
// pages instead of copying them, so growing to gigabytes never holds two copies at once; and it
// asks for huge pages, which cuts the page faults of filling it by a factor of 512.
// A buffer given a sink (drain_to) does not grow past its first block: each time the block is
// full it is handed to the sink and filled again, so a run's memory stays at one block.
class record_buffer {
public:
    record_buffer() = default;
    ~record_buffer() { release(); }
    record_buffer(record_buffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)),
          sink_(std::move(other.sink_)),
          block_records_(std::exchange(other.block_records_, 0)) {}
    record_buffer& operator=(record_buffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(sink_, other.sink_);
        std::swap(block_records_, other.block_records_);
        return *this;
    }
    record_buffer(const record_buffer&) = delete;
    record_buffer& operator=(const record_buffer&) = delete;

    void push_back(const score_record& record) {
        if (size_ == capacity_) make_room();
        data_[size_++] = record;
    }
    // From now on, blocks of `block_records` records go to `sink` (called on the thread that
    // pushes) instead of growing the buffer; call it on an empty buffer. The records of a block
    // not yet full stay until hand_over().
    void drain_to(record_sink sink, std::size_t block_records) {
        sink_ = std::move(sink);
        block_records_ = std::max<std::size_t>(1, block_records);
    }
    // Hands the records held to the sink (if any) and empties the buffer.
    void hand_over() {
        if (sink_ && size_ > 0) sink_(std::span<const score_record>(data_, size_));
        if (sink_) size_ = 0;
    }
    std::size_t size() const { return size_; }
    // Keeps the first `count` records (all when there are fewer).
    void shrink_to(std::size_t count) { size_ = std::min(size_, count); }
    bool empty() const { return size_ == 0; }
    score_record* begin() { return data_; }
    score_record* end() { return data_ + size_; }
    const score_record* begin() const { return data_; }
    const score_record* end() const { return data_ + size_; }
    const score_record& operator[](std::size_t i) const { return data_[i]; }

private:
    static constexpr std::size_t first_bytes = std::size_t{2} << 20;

    // Out of the hot path: a full draining buffer empties into its sink, any other grows.
    void make_room() {
        if (!sink_) {
            grow(capacity_ == 0 ? first_bytes : capacity_ * sizeof(score_record) * 2);
        } else if (capacity_ == 0) {
            grow(block_records_ * sizeof(score_record));
        } else {
            hand_over();
        }
    }

#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer cannot follow pages that mremap moves (it reports races on them): plain
    // heap memory under it.
    void grow(std::size_t new_bytes) {
        void* moved = std::realloc(data_, new_bytes);
        if (moved == nullptr) throw std::bad_alloc();
        data_ = static_cast<score_record*>(moved);
        capacity_ = new_bytes / sizeof(score_record);
    }
    void release() { std::free(data_); }
#else
    void grow(std::size_t new_bytes) {
        const std::size_t old_bytes = capacity_ * sizeof(score_record);
        void* moved = data_ == nullptr
                          ? ::mmap(nullptr, new_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                          : ::mremap(data_, old_bytes, new_bytes, MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) throw std::bad_alloc();
        ::madvise(moved, new_bytes, MADV_HUGEPAGE);  // a hint: refusal is harmless
        data_ = static_cast<score_record*>(moved);
        capacity_ = new_bytes / sizeof(score_record);
    }
    void release() {
        if (data_ != nullptr) ::munmap(data_, capacity_ * sizeof(score_record));
    }
#endif

    score_record* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    record_sink sink_;
    std::size_t block_records_ = 0;
};

// Records produced by one scoring run: one buffer per thread, in no particular order.
using record_runs = std::vector<record_buffer>;

}  // namespace vornel
