#include "io/write_all.hpp"

#include <unistd.h>

#include <cerrno>

namespace ppi::io {

int write_all(int fd, const char* data, std::size_t size) noexcept
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;  // no progress: do not spin
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace ppi::io
