#include "score_text.hpp"

#include <charconv>
#include <cstdlib>
#include <string>

namespace ppi {

namespace {

// strtod needs a terminating NUL; tokens are views into a block buffer, so the rare forms that
// from_chars does not take are copied first. Reused to avoid an allocation per rare token.
std::optional<double> parse_score_with_strtod(std::string_view token)
{
    thread_local std::string copy;
    copy.assign(token);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parse_score(std::string_view token)
{
    if (token.empty()) return std::nullopt;
    double value = 0.0;
    const char* const last = token.data() + token.size();
    const auto [end, ec] = std::from_chars(token.data(), last, value);
    if (ec == std::errc{} && end == last) return value;
    // Leading '+', "0x" hexadecimal and out-of-range values are valid "%lf" input that
    // from_chars rejects or reports differently.
    return parse_score_with_strtod(token);
}

char* format_score(double score, char* out)
{
    char* const end = std::to_chars(out, out + max_score_text, score,
                                    std::chars_format::scientific, 2).ptr;
    for (char* p = out; p != end; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return end;
}

}  // namespace ppi
