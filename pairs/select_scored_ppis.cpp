#include "select_scored_ppis.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "append_writer.hpp"
#include "blank_scan.hpp"
#include "block_reader.hpp"
#include "score_text.hpp"

namespace ppi {

namespace {

struct triple_scan {
    std::string_view fields[3];
    int field_count = 0;     // fields found before the data ran out
    bool complete = false;   // all three fields found, the last one ended by a blank or the end
    bool needs_more = false; // ran out inside the triple while more input may follow
    const char* end = nullptr;  // just past the score field when complete
};

// Finds the next triple in [p, last), which is followed by scan_padding readable bytes. A
// field that touches `last` is only taken as whole when `at_end` says no more input follows.
inline triple_scan scan_triple(blank_window& window, const char* p, const char* last, bool at_end) noexcept
{
    triple_scan scan;
    for (int field = 0; field < 3; ++field) {
        p = window.skip_blanks(p, last);
        if (p == last) {
            scan.needs_more = !at_end;
            return scan;
        }
        const char* const start = p;
        p = window.find_blank(p, last);
        if (p == last && !at_end) {
            scan.needs_more = true;
            return scan;
        }
        scan.fields[field] = {start, static_cast<std::size_t>(p - start)};
        scan.field_count = field + 1;
    }
    scan.complete = true;
    scan.end = p;
    return scan;
}

std::string error_text(const char* what, const std::string& name, int error_number)
{
    return std::string("Error: ") + what + " " + name + ": " + std::strerror(error_number);
}

// Reads the triples and hands each well-formed one to `handle_pair`, which returns false to
// stop the reading. Counts malformed triples into `result`.
template <typename Handle_pair>
void for_each_scored_pair(block_reader& reader, selection_result& result, Handle_pair handle_pair)
{
    blank_window window;
    for (;;) {
        const std::string_view data = reader.unread();
        const char* p = data.data();
        const char* const last = p + data.size();
        const bool at_end = reader.at_end();
        window.reset();
        for (;;) {
            const triple_scan scan = scan_triple(window, p, last, at_end);
            if (scan.needs_more) break;
            if (!scan.complete) {
                if (scan.field_count > 0) ++result.malformed_count;
                return;
            }
            p = scan.end;
            const std::optional<double> score = parse_score(scan.fields[2]);
            if (!score) {
                ++result.malformed_count;
                continue;
            }
            if (!handle_pair(scan.fields[0], scan.fields[1], *score)) return;
        }
        reader.consume(static_cast<std::size_t>(p - data.data()));
        if (!reader.refill() && reader.error() != 0) return;
    }
}

}  // namespace

selection_result select_scored_ppis(double threshold, const std::string& output_file,
                                    scored_pair_stream scored)
{
    selection_result result;
    append_writer writer(output_file);
    if (!writer.is_open()) {
        result.errors.push_back("Error: cannot open file " + output_file + " for write");
        return result;
    }
    result.output_opened = true;

    block_reader reader(std::move(scored.fd));
    if (is_top_n(threshold)) {
        for_each_scored_pair(reader, result, [&](std::string_view a, std::string_view b, double score) {
            writer.append_pair(a, b, score);
            result.last_kept_score = score;
            ++result.kept_count;
            ++result.read_count;
            // The pair after the N-th would end the reading uncounted: stop before reading it.
            return static_cast<double>(result.kept_count) < threshold;
        });
    } else {
        for_each_scored_pair(reader, result, [&](std::string_view a, std::string_view b, double score) {
            if (score >= threshold) {
                writer.append_pair(a, b, score);
                ++result.kept_count;
            }
            ++result.read_count;
            return true;
        });
    }

    if (reader.error() != 0) result.errors.push_back(error_text("cannot read file", scored.name, reader.error()));
    if (result.malformed_count > 0) {
        result.errors.push_back("Error: " + std::to_string(result.malformed_count) +
                                " malformed scored pair(s) skipped in " + scored.name);
    }
    if (const int write_error = writer.finish(); write_error != 0) {
        result.errors.push_back(error_text("cannot write file", output_file, write_error));
    }
    return result;
}

namespace {

template <typename... Args>
std::string format_text(const char* format, Args... args)
{
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace

std::string selection_report(double threshold, const selection_result& result)
{
    std::string report = format_text("\n#PPIs with non-zero score: %" PRId64 "\n", result.read_count);
    if (is_top_n(threshold)) {
        report += format_text("Minimum score of top %" PRId64 " PPIs: %.4f\n\n", result.kept_count,
                              result.last_kept_score);
    } else {
        report += format_text("#PPIs selected with score>=%.2f: %" PRId64 "\n\n", threshold,
                              result.kept_count);
    }
    return report;
}

}  // namespace ppi
