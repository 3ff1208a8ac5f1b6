#include "io/table_fields.hpp"

namespace ppi::io {

namespace tables {

// Detection's view of a line: its fields (at most a few thousand, from a bounded prefix).
std::vector<std::string_view> split_all(std::string_view line, separator_kind separator) {
    constexpr std::size_t most_fields = 4096;
    return split_fields(line.substr(0, detection_prefix_bytes), separator, most_fields);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_lower(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != lower_word[i]) return false;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// A header field as a column name: without blanks and quotes around it, and the first field
// without the '#' some databases put before their header.
std::string_view header_name(std::string_view field, bool first) {
    field = without_quotes(trim(field));
    if (first) {
        while (!field.empty() && field.front() == '#') field.remove_prefix(1);
        field = without_quotes(trim(field));
    }
    return field;
}

std::vector<std::string_view> header_names(std::string_view line, separator_kind separator) {
    auto fields = split_all(line, separator);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = header_name(fields[i], i == 0);
    return fields;
}

bool named(const std::vector<std::string_view>& names, std::size_t i, std::string_view lower_word) {
    return i < names.size() && equals_lower(names[i], lower_word);
}

// Whether `line` holds one of `wanted` outside double quotes (within the detection prefix).
bool holds_outside_quotes(std::string_view line, bool (*wanted)(char)) {
    line = line.substr(0, detection_prefix_bytes);
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (!quoted && wanted(c)) return true;
    }
    return false;
}

bool is_comma(char c) { return c == ','; }

bool is_tab(char c) { return c == '\t'; }

// Whether the first lines of a table without a tab are comma-separated: each holds a comma
// outside double quotes and the first holds no blank outside them. A blank-separated list
// whose fields hold commas ("a b 0,5") stays blank-separated, as it always was.
bool looks_comma_separated(std::span<const std::string_view> lines) {
    if (lines.empty() || holds_outside_quotes(lines[0], [](char c) { return is_blank(c); })) return false;
    return std::all_of(lines.begin(), lines.end(), [](std::string_view line) {
        return !holds_outside_quotes(line, is_tab) && holds_outside_quotes(line, is_comma);
    });
}

// How the fields of a table named by --columns, or of a header line, are separated: tabs when
// the line holds one, commas when it is comma-separated, else `otherwise`.
separator_kind line_separator(std::string_view line, separator_kind otherwise) {
    if (line.substr(0, detection_prefix_bytes).find('\t') != std::string_view::npos) return separator_kind::tab;
    if (looks_comma_separated(std::span<const std::string_view>(&line, 1))) return separator_kind::comma;
    return otherwise;
}

std::size_t find_name(const std::vector<std::string_view>& fields, std::string_view name) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (trim(fields[i]) == name) return i;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string_view field = trim(fields[i]);
        if (field.size() == name.size() &&
            std::equal(field.begin(), field.end(), name.begin(), [](char x, char y) { return lower(x) == lower(y); })) {
            return i;
        }
    }
    return no_column;
}

bool is_comment(std::string_view line) {
    std::size_t pos = 0;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    return pos < line.size() && line[pos] == '#';
}

bool is_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The column of `name_a` when it and `name_b` are the first two header names, or follow an
// unnamed row-name column; no_column otherwise.
std::size_t pair_of_names(const std::vector<std::string_view>& names, std::string_view name_a,
                          std::string_view name_b) {
    if (named(names, 0, name_a) && named(names, 1, name_b)) return 0;
    if (names.size() >= 3 && names[0].empty() && named(names, 1, name_a) && named(names, 2, name_b)) return 1;
    return no_column;
}

// Sets identifier columns by header names; false when a name is missing.
bool set_named_ids(table_layout& layout, const std::vector<std::string_view>& fields, std::string_view name_a,
                   std::string_view name_b) {
    layout.column_a = find_name(fields, name_a);
    layout.column_b = find_name(fields, name_b);
    layout.label_a = name_a;
    layout.label_b = name_b;
    return layout.column_a != no_column && layout.column_b != no_column;
}

std::string column_number(std::size_t index) { return std::to_string(index + 1); }

} // namespace tables

using namespace tables;

bool strip_byte_order_mark(std::string_view& line) {
    if (!line.starts_with("\xEF\xBB\xBF")) return false;
    line.remove_prefix(3);
    return true;
}

std::vector<std::string_view> split_fields(std::string_view line, separator_kind separator, std::size_t max_fields) {
    std::vector<std::string_view> fields;
    field_cursor cursor(line, separator);
    std::string_view field;
    while (fields.size() < max_fields && cursor.next(field)) fields.push_back(field);
    return fields;
}

std::string_view unquote(std::string_view field) { return without_quotes(field); }

} // namespace ppi::io
