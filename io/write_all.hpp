#pragma once

#include <cstddef>

namespace ppi::io {

// Writes all of [data, data + size) to `fd`, retrying interrupted and partial writes; returns 0
// or the errno of the failed write (EIO for a write that makes no progress).
int write_all(int fd, const char* data, std::size_t size) noexcept;

}  // namespace ppi::io
