#include "scorer/graph/identifier_table.hpp"

#include <cstring>

namespace vornel {

namespace {

constexpr std::uint64_t mix_multiplier = 0x9e3779b97f4a7c15u;

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 32;
    x *= 0xd6e8feb86659fd93u;
    x ^= x >> 32;
    return x;
}

}  // namespace

std::uint64_t hash_identifier(std::string_view identifier) {
    std::uint64_t hash = identifier.size() * mix_multiplier;
    const char* bytes = identifier.data();
    std::size_t left = identifier.size();
    for (; left >= 8; left -= 8, bytes += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        hash = (hash ^ word) * mix_multiplier;
        hash ^= hash >> 29;
    }
    if (left > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, left);
        hash = (hash ^ word) * mix_multiplier;
    }
    return mix(hash);
}

std::size_t identifier_table::locate(std::string_view identifier, std::uint64_t hash) const {
    const std::uint64_t tag = hash & 0xffffffff00000000u;
    for (std::size_t at = home_of(hash);; at = (at + 1) & mask_) {
        const std::uint64_t slot = slots_[at];
        if (slot == 0) return at;
        if ((slot & 0xffffffff00000000u) == tag && name(static_cast<std::uint32_t>(slot) - 1) == identifier) return at;
    }
}

std::uint32_t identifier_table::intern(std::string_view identifier) {
    return intern(identifier, hash_identifier(identifier));
}

std::uint32_t identifier_table::intern(std::string_view identifier, std::uint64_t hash) {
    std::size_t at = locate(identifier, hash);
    if (slots_[at] != 0) return static_cast<std::uint32_t>(slots_[at]) - 1;
    const std::uint32_t id = size();
    bytes_.append(identifier);
    starts_.push_back(bytes_.size());
    slots_[at] = slot_of(hash, id);
    // At most half full, so probe runs stay short.
    if (2 * std::size_t{size()} > slots_.size()) grow();
    return id;
}

std::optional<std::uint32_t> identifier_table::find(std::string_view identifier) const {
    const std::uint64_t slot = slots_[locate(identifier, hash_identifier(identifier))];
    if (slot == 0) return std::nullopt;
    return static_cast<std::uint32_t>(slot) - 1;
}

void identifier_table::grow() {
    std::vector<std::uint64_t> old(2 * slots_.size(), 0);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    // The stored upper half of the hash picks the new slot, so nothing is hashed again.
    for (const std::uint64_t slot : old) {
        if (slot == 0) continue;
        std::size_t at = home_of(slot);
        while (slots_[at] != 0) at = (at + 1) & mask_;
        slots_[at] = slot;
    }
}

}  // namespace vornel
