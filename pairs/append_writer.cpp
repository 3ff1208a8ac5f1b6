#include "append_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "block_reader.hpp"
#include "score_text.hpp"

namespace ppi {

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

append_writer::append_writer(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666))
{
    if (!fd_) {
        open_error_ = errno;
        return;
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(block_size);
    capacity_ = block_size;
}

void append_writer::append_bytes(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (used_ == capacity_) flush();
        const std::size_t room = std::min(capacity_ - used_, bytes.size());
        std::memcpy(buffer_.get() + used_, bytes.data(), room);
        used_ += room;
        bytes.remove_prefix(room);
    }
}

void append_writer::flush()
{
    if (write_error_ == 0 && used_ > 0) write_error_ = write_all(fd_.get(), buffer_.get(), used_);
    used_ = 0;
}

int append_writer::finish()
{
    flush();
    const int close_error = fd_.close();
    return write_error_ != 0 ? write_error_ : close_error;
}

}  // namespace ppi
