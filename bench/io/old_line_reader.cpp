#include "old_line_reader.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace old_reader {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

line_reader::line_reader(const std::string& path)
    : buffer_(new char[block_size]), capacity_(block_size) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) error_ = std::strerror(errno);
}

line_reader::~line_reader() {
    if (fd_ >= 0) ::close(fd_);
}

bool line_reader::refill() {
    if (at_eof_ || fd_ < 0) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) grow_buffer();  // a line longer than the block
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            at_eof_ = true;
            return false;
        }
        if (errno != EINTR) {
            error_ = std::strerror(errno);
            at_eof_ = true;
            return false;
        }
    }
}

void line_reader::grow_buffer() {
    std::unique_ptr<char[]> larger(new char[2 * capacity_]);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ *= 2;
}

bool line_reader::next_line(std::string_view& line) {
    if (fd_ < 0) return false;
    std::size_t scanned = begin_;
    for (;;) {
        if (skip_newline_ && begin_ < end_) {
            if (buffer_[begin_] == '\n') ++begin_;
            skip_newline_ = false;
            scanned = begin_;
        }
        const char* data = buffer_.get();
        std::size_t pos = scanned;
        while (pos < end_ && data[pos] != '\n' && data[pos] != '\r') ++pos;
        if (pos < end_) {
            line = std::string_view(data + begin_, pos - begin_);
            skip_newline_ = data[pos] == '\r';
            begin_ = pos + 1;
            ++line_number_;
            return true;
        }
        // Rescanning after a refill starts where this scan stopped, so long lines stay linear.
        const std::size_t scanned_length = pos - begin_;
        if (!refill()) {
            if (!error_.empty() || begin_ == end_) return false;
            line = std::string_view(buffer_.get() + begin_, end_ - begin_);
            begin_ = end_;
            ++line_number_;
            return true;
        }
        scanned = begin_ + scanned_length;
    }
}

line_fields split_two_fields(std::string_view line) {
    line_fields fields;
    std::size_t pos = 0;
    const std::size_t size = line.size();
    for (std::string_view* field : {&fields.first, &fields.second}) {
        while (pos < size && is_blank(line[pos])) ++pos;
        if (pos == size) break;
        const std::size_t start = pos;
        while (pos < size && !is_blank(line[pos])) ++pos;
        *field = line.substr(start, pos - start);
        ++fields.count;
    }
    return fields;
}

bool is_skipped_line(std::string_view line) {
    std::size_t pos = 0;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    return pos == line.size() || line[pos] == '#';
}

}  // namespace old_reader
