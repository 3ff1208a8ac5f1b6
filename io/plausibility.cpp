#include "io/plausibility.hpp"

#include "io/line_reader.hpp"
#include "io/strict_number.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <unordered_set>
#include <vector>

namespace ppi::io {

namespace {

bool is_whole_number(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The rule's bounds. Measured on the networks of ../shared/data (HI-II-14, HI-III, HuRI,
// Lit-BM-13, the pathways network, Collins, Gavin, both Krogan sets, and the CYC2008 and SGD
// complex lists read as networks): they share 0.54 to 0.99 of the identifiers chance predicts;
// the first 3,000 rows of HuRI, sorted by column 1, share least, 0.057. Misread tables share
// none, so a share below 0.01 is far outside every real list.
constexpr double least_share_of_expected = 0.01;
// Below this many expected shared identifiers (a star, a handful of pairs, a matching whose
// proteins appear once each) no share is too small.
constexpr double least_expected_to_judge = 10;
// A column of whole numbers beside one without: judged from this many identifiers per column.
constexpr std::uint64_t least_ids_for_numbers = 5;
// A row counter: judged from this many rows, beside a column of at least 3 identifiers.
constexpr std::uint64_t least_rows_for_counter = 10;

std::string column_text(std::size_t index) { return "column " + std::to_string(index + 1); }

std::string number_text(double value) { return std::to_string(static_cast<std::uint64_t>(std::llround(value))); }

// Why the census cannot be an interaction list, or "".
std::string reason_of(const column_census& c, const table_layout& layout) {
    const std::string a = column_text(layout.column_a), b = column_text(layout.column_b);
    // A chain of numbered proteins ("1 2", "2 3", ...) steps by one in both columns.
    if (c.rows >= least_rows_for_counter && c.a_counts_rows && !c.b_steps_by_one && c.ids_b >= 3) {
        return a + " counts the rows (1, 2, 3, ...), as a row number does";
    }
    if (c.expected_shared >= least_expected_to_judge && double(c.shared) < least_share_of_expected * c.expected_shared) {
        return a + " (" + std::to_string(c.ids_a) + " identifiers) and " + b + " (" + std::to_string(c.ids_b) +
               ") share " + std::to_string(c.shared) + ", where the same proteins listed in both would share about " +
               number_text(c.expected_shared);
    }
    if (c.ids_a >= least_ids_for_numbers && c.ids_b >= least_ids_for_numbers) {
        const bool a_numbers = c.integers_a == c.ids_a && c.integers_b == 0;
        const bool b_numbers = c.integers_b == c.ids_b && c.integers_a == 0;
        if (a_numbers || b_numbers) {
            return (a_numbers ? a : b) + " holds only whole numbers and " + (a_numbers ? b : a) +
                   " none, as a row number, an interaction id or an Entrez id beside a name does";
        }
    }
    return {};
}

// The row as a reader sees it: tabs written as "\t", cut after 160 bytes.
std::string shown_row(std::string_view row) {
    constexpr std::size_t most = 160;
    std::string text;
    for (std::size_t i = 0; i < row.size() && i < most; ++i) text += row[i] == '\t' ? std::string("\\t") : std::string(1, row[i]);
    if (row.size() > most) text += "...";
    return text;
}

// A column of decimal scores ("0.76"), not identifiers.
bool is_score_column(const std::unordered_set<std::string>& values) {
    bool fraction = false;
    for (const auto& value : values) {
        double number = 0;
        if (!parse_real(value, number)) return false;
        fraction = fraction || !is_whole_number(value);
    }
    return fraction;
}

}  // namespace

void column_census::note_number(std::string_view name, bool in_a, bool in_b) {
    const bool number = is_whole_number(name);
    integers_a += in_a && number;
    integers_b += in_b && number;
}

void row_counter_check::note_value(std::string_view field) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() ||
        (started_ ? value != next_ : !any_start_ && value > 1)) {
        alive_ = false;
        return;
    }
    started_ = true;
    next_ = value + 1;
    ++rows_;
}

std::string implausible_columns(const column_census& census, const table_layout& layout, std::string_view first_row,
                                std::uint64_t first_row_number) {
    const std::string reason = reason_of(census, layout);
    if (reason.empty()) return {};
    return "this does not look like an interaction list read by the right columns: " + reason +
           "; first row (line " + std::to_string(first_row_number) + "): \"" + shown_row(first_row) + "\"";
}

std::string suggest_identifier_columns(const std::string& path, const table_layout& layout) {
    constexpr std::size_t most_rows = 20000, most_columns = 16;
    line_reader reader(path);
    std::vector<std::unordered_set<std::string>> values;
    std::string_view line;
    std::size_t rows = 0;
    while (rows < most_rows && reader.next_line(line)) {
        if (reader.line_number() == 1) strip_byte_order_mark(line);
        if (reader.line_number() == layout.header_line || is_skipped_line(line)) continue;
        const auto fields = split_fields(line, layout.separator, most_columns);
        if (fields.size() > values.size()) values.resize(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string_view field = layout.strip_quotes ? unquote(fields[i]) : fields[i];
            if (!field.empty() && field != "-") values[i].emplace(field);
        }
        ++rows;
    }
    std::size_t best_shared = 0, best_a = 0, best_b = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (is_score_column(values[i])) continue;
        for (std::size_t j = i + 1; j < values.size(); ++j) {
            if (is_score_column(values[j])) continue;
            const auto& small = values[i].size() < values[j].size() ? values[i] : values[j];
            const auto& large = values[i].size() < values[j].size() ? values[j] : values[i];
            const std::size_t shared = std::count_if(small.begin(), small.end(), [&](const std::string& v) { return large.count(v) > 0; });
            if (shared > best_shared) best_shared = shared, best_a = i, best_b = j;
        }
    }
    if (best_shared == 0 || (best_a == layout.column_a && best_b == layout.column_b)) return {};
    return "columns " + std::to_string(best_a + 1) + " and " + std::to_string(best_b + 1) + " share " +
           std::to_string(best_shared) + " values in the first " + std::to_string(rows) +
           " rows and look like the identifiers: --columns " + std::to_string(best_a + 1) + "," +
           std::to_string(best_b + 1);
}

}  // namespace ppi::io
