#pragma once

#include <cstdio>
#include <string>

namespace ppi {

// Writes `text` to standard output verbatim (never as a format).
inline void print_text(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Writes `text` and a newline to standard output.
inline void print_line(const std::string& text)
{
    print_text(text);
    std::fputc('\n', stdout);
}

}  // namespace ppi
