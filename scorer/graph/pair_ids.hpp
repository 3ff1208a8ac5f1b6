#pragma once

#include <cstdint>

namespace vornel {

// Two proteins by id.
struct pair_ids {
    std::uint32_t first;
    std::uint32_t second;
};

} // namespace vornel
