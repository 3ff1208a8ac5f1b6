#include "io/line_reader.hpp"

#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ppi::io {

namespace {

unique_fd open_or_note(const std::string& path, std::string& error)
{
    unique_fd fd = open_for_read(path.c_str());
    if (!fd) error = std::strerror(errno);
    return fd;
}

// The first '\n' or '\r' in [first, last), or `last`. Needs scan_padding readable bytes after
// `last` (16-byte loads may pass it).
const char* find_line_end(const char* first, const char* last) noexcept
{
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i carriage_return = _mm_set1_epi8('\r');
    for (; first < last; first += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, newline), _mm_cmpeq_epi8(bytes, carriage_return)));
        if (mask != 0) {
            const char* found = first + __builtin_ctz(static_cast<unsigned>(mask));
            return found < last ? found : last;
        }
    }
    return last;
#else
    while (first < last && *first != '\n' && *first != '\r') ++first;
    return first;
#endif
}

}  // namespace

line_reader::line_reader(const std::string& path) : reader_(open_or_note(path, error_), block_size) {}

void line_reader::fail_at_line(const std::string& what)
{
    error_ = "line " + std::to_string(line_number_ + 1) + ": " + what;
}

// Refills and searches the new bytes for a NUL byte (one memchr per block, which runs at
// memory speed).
bool line_reader::refill()
{
    if (!reader_.refill()) {
        if (!reader_.error().empty()) {
            if (reader_.error_number() != 0) {
                error_ = reader_.error();
            } else {
                fail_at_line(reader_.error());
            }
        }
        return false;
    }
    const std::string_view data = reader_.unread().view();
    if (nul_at_ == npos) {
        const void* nul = std::memchr(data.data() + checked_, 0, data.size() - checked_);
        if (nul != nullptr) nul_at_ = static_cast<std::size_t>(static_cast<const char*>(nul) - data.data());
    }
    checked_ = data.size();
    return true;
}

bool line_reader::next_line(std::string_view& line)
{
    if (!error_.empty()) return false;
    std::size_t scanned = 0;  // bytes of unread() known to hold no line end
    for (;;) {
        padded_range data = reader_.unread();
        if (skip_newline_ && !data.empty()) {
            skip_newline_ = false;
            if (*data.begin() == '\n') {
                reader_.consume(1);
                checked_ -= 1;
                if (nul_at_ != npos) nul_at_ -= 1;
                data = reader_.unread();
            }
        }
        // Lines are only handed out up to a NUL byte.
        const std::size_t limit = nul_at_ < data.size() ? nul_at_ : data.size();
        const char* end = find_line_end(data.begin() + scanned, data.begin() + limit);
        if (end < data.begin() + limit) {
            const std::size_t length = static_cast<std::size_t>(end - data.begin());
            line = std::string_view(data.begin(), length);
            skip_newline_ = *end == '\r';
            reader_.consume(length + 1);
            checked_ -= length + 1;
            if (nul_at_ != npos) nul_at_ -= length + 1;
            ++line_number_;
            return true;
        }
        if (limit < data.size()) {
            fail_at_line("binary content (a NUL byte), not a text file");
            return false;
        }
        // Rescanning after a refill starts where this scan stopped, so long lines stay linear.
        scanned = limit;
        if (!refill()) {
            // A refill moves the unread bytes to the front of the buffer even when it reads
            // nothing more, so the last line is looked up again.
            data = reader_.unread();
            if (!error_.empty() || data.empty()) return false;
            line = data.view();
            reader_.consume(data.size());
            checked_ = 0;
            ++line_number_;
            return true;
        }
    }
}

line_fields split_two_fields(std::string_view line)
{
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

bool is_skipped_line(std::string_view line)
{
    std::size_t pos = 0;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    return pos == line.size() || line[pos] == '#';
}

}  // namespace ppi::io
