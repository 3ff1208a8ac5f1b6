#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace ppi::io {

// Owns one POSIX file descriptor and closes it when destroyed; move-only.
class unique_fd {
public:
    unique_fd() noexcept = default;
    explicit unique_fd(int fd) noexcept : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd& operator=(unique_fd&& other) noexcept
    {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Closes the descriptor and returns 0, or the errno of a failed close (which can carry a
    // deferred write error, so writers must check it).
    int close() noexcept
    {
        if (fd_ < 0) return 0;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

private:
    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

    int fd_ = -1;
};

// Opens `path` for reading; on failure returns an empty descriptor and sets errno.
inline unique_fd open_for_read(const char* path)
{
    return unique_fd(::open(path, O_RDONLY | O_CLOEXEC));
}

}  // namespace ppi::io
