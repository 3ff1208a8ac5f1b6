#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "score_text.hpp"
#include "io/unique_fd.hpp"

namespace ppi {

// Appends output lines "<a>\t<b>\t<score as %.2E>\n" to a file through one block buffer.
// The first failing write is remembered; later writes are dropped, and finish() reports it.
class append_writer {
public:
    // Readable bytes that must follow each field given to append_pair (fields taken from an
    // io::padded_range have them): short fields are copied 16 bytes at a time.
    static constexpr std::size_t field_padding = 16;

    // Opens `path` for appending, creating it (mode 0666 less the umask) when missing; check
    // is_open() afterwards.
    explicit append_writer(const std::string& path);

    bool is_open() const noexcept { return static_cast<bool>(fd_); }

    // `score` is a double or a parsed_score.
    template <typename Score>
    void append_pair(std::string_view protein_a, std::string_view protein_b, const Score& score)
    {
        if (capacity_ - used_ < line_room(protein_a, protein_b)) {
            append_pair_slowly(protein_a, protein_b, score);
            return;
        }
        used_ = static_cast<std::size_t>(write_line(protein_a, protein_b, score) - buffer_.get());
    }

    // Appends the line when `keep`, without a branch on it: the line is always written into the
    // buffer and the buffer's end moves past it only when kept. Cheaper than a mispredicted
    // branch when `keep` is close to a coin toss.
    template <typename Score>
    void append_pair_if(bool keep, std::string_view protein_a, std::string_view protein_b, const Score& score)
    {
        if (capacity_ - used_ < line_room(protein_a, protein_b)) {
            if (keep) append_pair_slowly(protein_a, protein_b, score);
            return;
        }
        const std::size_t line_end = static_cast<std::size_t>(write_line(protein_a, protein_b, score) - buffer_.get());
        used_ = keep ? line_end : used_;
    }

    // Writes what is buffered and closes the file. Returns 0 or the errno of the first failed
    // write or of the close.
    int finish();

private:
    // Room for two fields copied whole in 16-byte steps, two tabs, the score and a newline.
    static std::size_t line_room(std::string_view protein_a, std::string_view protein_b) noexcept
    {
        return protein_a.size() + protein_b.size() + 2 * field_padding + max_score_text + 3;
    }

    // Writes the line after the used part of the buffer (which has line_room) and returns its end.
    template <typename Score>
    char* write_line(std::string_view protein_a, std::string_view protein_b, const Score& score) noexcept
    {
        char* out = buffer_.get() + used_;
        out = copy_field(out, protein_a);
        *out++ = '\t';
        out = copy_field(out, protein_b);
        *out++ = '\t';
        out = format_score(score, out);
        *out++ = '\n';
        return out;
    }

    static char* copy_field(char* out, std::string_view field) noexcept
    {
        if (field.size() <= field_padding) {
            std::memcpy(out, field.data(), field_padding);  // a fixed size: one load and store
        } else {
            std::memcpy(out, field.data(), field.size());
        }
        return out + field.size();
    }

    // Flushes, then appends the line, also one longer than the whole buffer.
    template <typename Score>
    void append_pair_slowly(std::string_view protein_a, std::string_view protein_b, const Score& score)
    {
        flush();
        char score_text[max_score_text];
        const char* const score_end = format_score(score, score_text);
        append_bytes(protein_a);
        append_bytes("\t");
        append_bytes(protein_b);
        append_bytes("\t");
        append_bytes({score_text, static_cast<std::size_t>(score_end - score_text)});
        append_bytes("\n");
    }

    void append_bytes(std::string_view bytes);
    void flush();

    io::unique_fd fd_;
    int write_error_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

}  // namespace ppi
