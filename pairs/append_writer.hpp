#pragma once

#include <string>
#include <memory>
#include <string_view>

#include "unique_fd.hpp"

namespace ppi {

// Appends output lines "<a>\t<b>\t<score as %.2E>\n" to a file through one block buffer.
// The first failing write is remembered; later writes are dropped, and finish() reports it.
class append_writer {
public:
    // Opens `path` for appending, creating it (mode 0666 less the umask) when missing; check
    // is_open() afterwards, open_error() then holds the errno.
    explicit append_writer(const std::string& path);

    bool is_open() const noexcept { return static_cast<bool>(fd_); }
    int open_error() const noexcept { return open_error_; }

    void append_pair(std::string_view protein_a, std::string_view protein_b, double score);

    // Writes what is buffered and closes the file. Returns 0 or the errno of the first failed
    // write or of the close.
    int finish();

private:
    void append_bytes(std::string_view bytes);
    void flush();

    unique_fd fd_;
    int open_error_ = 0;
    int write_error_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

// Writes all of [data, data + size) to `fd`, retrying partial writes; returns 0 or the errno.
int write_all(int fd, const char* data, std::size_t size) noexcept;

}  // namespace ppi
