#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace ppi::io {

// The two bytes every gzip member starts with.
inline bool has_gzip_magic(const char* data, std::size_t size) noexcept
{
    return size >= 2 && static_cast<unsigned char>(data[0]) == 0x1f && static_cast<unsigned char>(data[1]) == 0x8b;
}

// Decompresses a gzip file while it is read: compressed bytes come from a file descriptor
// through a buffer of its own, and each read() fills part of the caller's buffer. Members
// written one after the other (concatenated gzip files) read as one stream.
class gzip_inflater {
public:
    // `fd` stays owned by the caller. `already_read` are the first bytes of the file, taken
    // from the descriptor before the magic bytes were recognised.
    gzip_inflater(int fd, const char* already_read, std::size_t size);
    ~gzip_inflater();
    gzip_inflater(const gzip_inflater&) = delete;
    gzip_inflater& operator=(const gzip_inflater&) = delete;

    // Decompresses up to `room` bytes into `out`. Returns how many (at least 1), 0 at the end of
    // the last member, or -1 on failure: then error() says what is wrong and error_number() is
    // the errno of a failed read (0 for a damaged stream).
    long read(char* out, std::size_t room);

    const std::string& error() const noexcept { return error_; }
    int error_number() const noexcept { return error_number_; }

private:
    bool read_input();
    long fail(std::string what, int error_number = 0);

    struct stream;
    std::unique_ptr<stream> stream_;
    int fd_;
    std::unique_ptr<char[]> input_;
    std::size_t input_capacity_;
    bool input_ended_ = false;
    bool member_ended_ = false;
    bool failed_ = false;
    std::string error_;
    int error_number_ = 0;
};

}  // namespace ppi::io
