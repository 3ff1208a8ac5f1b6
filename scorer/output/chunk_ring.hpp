#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vornel {

// Formatted text, filled without the zero-filling that growing a std::string would do.
class text_chunk {
public:
    text_chunk() = default;
    text_chunk(text_chunk&& other) noexcept
        : plain_crc(other.plain_crc), plain_size(other.plain_size), data_(std::move(other.data_)),
          size_(std::exchange(other.size_, 0)), capacity_(std::exchange(other.capacity_, 0)) {}
    text_chunk& operator=(text_chunk&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(plain_crc, other.plain_crc);
        std::swap(plain_size, other.plain_size);
        return *this;
    }

    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }

    // A place to write up to `bytes` characters at the end; commit_to() then marks how far
    // they were written.
    char* make_room(std::size_t bytes) {
        if (size_ + bytes > capacity_) {
            const std::size_t wanted = std::max({size_ + bytes, 2 * capacity_, first_capacity});
            std::unique_ptr<char[]> larger(new char[wanted]);
            std::copy(data_.get(), data_.get() + size_, larger.get());
            data_ = std::move(larger);
            capacity_ = wanted;
        }
        return data_.get() + size_;
    }
    void commit_to(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

    // A compressed chunk carries the CRC-32 and the length of the text it holds, which the
    // writer adds to the gzip trailer.
    std::uint32_t plain_crc = 0;
    std::size_t plain_size = 0;

private:
    // A full chunk plus room for the line that crosses the limit, so a chunk rarely regrows.
    static constexpr std::size_t first_capacity = (std::size_t{1} << 20) + (std::size_t{1} << 12);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Formatted text passes from the formatting threads to the writing thread in chunks. Segment i
// uses slot i % size; the writer takes the chunks of segment 0, then of segment 1, and so on, so
// the file keeps the sorted order while several segments are formatted at once. Each slot holds
// a few chunks at most, which bounds memory however large a segment is.
class chunk_ring {
public:
    explicit chunk_ring(std::size_t size) : slots_(size) {}

    // Blocks until segment i may use its slot; false when writing has stopped.
    bool acquire(std::size_t i) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || i < written_ + slots_.size(); });
        return !stopped_;
    }
    // Hands a chunk of segment i to the writer, waiting while the slot is full; returns an empty
    // string to fill next. False when writing has stopped.
    bool push(std::size_t i, text_chunk& chunk) {
        std::unique_lock lock(mutex_);
        slot& s = slots_[i % slots_.size()];
        changed_.wait(lock, [&] { return stopped_ || s.chunks.size() < max_pending; });
        if (stopped_) return false;
        s.chunks.push_back(std::move(chunk));
        chunk = take_spare();
        changed_.notify_all();
        return true;
    }
    void finish(std::size_t i) {
        std::lock_guard lock(mutex_);
        slots_[i % slots_.size()].done = true;
        changed_.notify_all();
    }
    // Writer side: the next chunk of segment i, or false once the segment is complete.
    bool pop(std::size_t i, text_chunk& chunk) {
        std::unique_lock lock(mutex_);
        slot& s = slots_[i % slots_.size()];
        changed_.wait(lock, [&] { return !s.chunks.empty() || s.done || stopped_; });
        if (s.chunks.empty() || stopped_) return false;
        spares_.push_back(std::move(chunk));
        chunk = std::move(s.chunks.front());
        s.chunks.pop_front();
        changed_.notify_all();
        return true;
    }
    // Writer side: segment i is written; its slot goes to segment i + size.
    void release(std::size_t i) {
        std::lock_guard lock(mutex_);
        slots_[i % slots_.size()].done = false;
        written_ = i + 1;
        changed_.notify_all();
    }
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    static constexpr std::size_t max_pending = 4;
    struct slot {
        std::deque<text_chunk> chunks;
        bool done = false;
    };
    text_chunk take_spare() {
        if (spares_.empty()) return {};
        text_chunk spare = std::move(spares_.back());
        spares_.pop_back();
        spare.clear();
        return spare;
    }

    std::vector<slot> slots_;
    std::vector<text_chunk> spares_;  // written chunks, kept for their capacity
    std::size_t written_ = 0;
    bool stopped_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace vornel
