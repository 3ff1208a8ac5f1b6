#include "score_text.hpp"

#include <charconv>
#include <cstdlib>
#include <string>

namespace ppi::detail {

bool parse_score_general(std::string_view token, double& value)
{
    if (token.empty()) return false;
    const char* const last = token.data() + token.size();
    const auto [end, ec] = std::from_chars(token.data(), last, value);
    if (ec == std::errc{} && end == last) return true;
    // A leading '+', "0x" hexadecimal and out-of-range values are valid "%lf" input that
    // from_chars rejects or reports differently. strtod needs a terminating NUL, and tokens are
    // views into a block buffer: copy into a buffer reused across calls.
    thread_local std::string copy;
    copy.assign(token);
    char* strtod_end = nullptr;
    value = std::strtod(copy.c_str(), &strtod_end);
    return strtod_end == copy.c_str() + copy.size();
}

char* format_score_general(double score, char* out)
{
    char* const end =
        std::to_chars(out, out + max_score_text, score, std::chars_format::scientific, 2).ptr;
    for (char* p = out; p != end; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return end;
}

}  // namespace ppi::detail
