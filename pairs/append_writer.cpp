#include "append_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/block_reader.hpp"
#include "io/write_all.hpp"
#include "score_text.hpp"

namespace ppi {

append_writer::append_writer(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666))
{
    if (!fd_) return;
    buffer_ = std::make_unique_for_overwrite<char[]>(io::block_size);
    capacity_ = io::block_size;
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
    if (write_error_ == 0 && used_ > 0) write_error_ = io::write_all(fd_.get(), buffer_.get(), used_);
    used_ = 0;
}

int append_writer::finish()
{
    flush();
    const int close_error = fd_.close();
    return write_error_ != 0 ? write_error_ : close_error;
}

}  // namespace ppi
