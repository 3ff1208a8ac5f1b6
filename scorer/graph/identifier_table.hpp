#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornel {

// A fast hash of a short byte string (8 bytes per step).
std::uint64_t hash_identifier(std::string_view identifier);

// Identifiers numbered 0, 1, 2, ... in the order they were first added, kept back to back in
// one string, and found again through a flat open-addressing hash table: no allocation per
// identifier, and one probe into a contiguous array for most look-ups.
class identifier_table {
public:
    // The id of `identifier`, giving it the next id when it is new. `hash` must be
    // hash_identifier(identifier).
    std::uint32_t intern(std::string_view identifier, std::uint64_t hash);
    std::uint32_t intern(std::string_view identifier);
    // Asks the processor to fetch the slot where a look-up with this hash starts, so that
    // look-ups of several identifiers can wait for memory at the same time.
    void prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[home_of(hash)]); }
    // The id of `identifier`, or nothing when it was never added.
    std::optional<std::uint32_t> find(std::string_view identifier) const;

    std::uint32_t size() const { return static_cast<std::uint32_t>(starts_.size() - 1); }
    std::string_view name(std::uint32_t id) const {
        return std::string_view(bytes_).substr(starts_[id], starts_[id + 1] - starts_[id]);
    }

private:
    // A slot holds the hash's upper half (which also picks the slot) and id + 1; 0 is empty.
    static std::uint64_t slot_of(std::uint64_t hash, std::uint32_t id) {
        return (hash & 0xffffffff00000000u) | (std::uint64_t{id} + 1);
    }
    std::size_t home_of(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 32) & mask_; }
    // The slot index where `identifier` is, or the empty slot where it would go.
    std::size_t locate(std::string_view identifier, std::uint64_t hash) const;
    void grow();

    std::string bytes_;
    std::vector<std::uint64_t> starts_{0};  // size() + 1 offsets into bytes_
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024, 0);
    std::size_t mask_ = 1023;
};

}  // namespace vornel
