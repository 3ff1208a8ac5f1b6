#pragma once

#include "io/blank_scan.hpp"
#include "io/table_format.hpp"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

// The text of table lines as every format reads it: fields split by a separator, header names,
// quotes, comments. Shared by the format files of io/ (table_*.cpp, format_*.cpp); not a public
// interface.
namespace ppi::io::tables {

// Walks the fields of a line in order.
class field_cursor {
public:
    field_cursor(std::string_view line, separator_kind separator) : line_(line), separator_(separator) {}

    // Sets `field` to the next field; false when the line has no more.
    bool next(std::string_view& field) {
        if (separator_ == separator_kind::blanks) {
            while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
            if (pos_ == line_.size()) return false;
            const std::size_t start = pos_;
            while (pos_ < line_.size() && !is_blank(line_[pos_])) ++pos_;
            field = line_.substr(start, pos_ - start);
            return true;
        }
        if (done_) return false;
        if (separator_ == separator_kind::comma) return next_comma_field(field);
        const char separator = separator_ == separator_kind::tab ? '\t' : ' ';
        const char* begin = line_.data() + pos_;
        const void* hit = std::memchr(begin, separator, line_.size() - pos_);
        if (!hit) {
            field = line_.substr(pos_);
            done_ = true;
            return true;
        }
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(hit) - line_.data());
        field = line_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }

private:
    // A CSV field: up to the next comma, or a double-quoted field (quotes doubled inside it)
    // with the commas it holds, up to the comma after its closing quote.
    bool next_comma_field(std::string_view& field) {
        std::size_t end = pos_;
        if (end < line_.size() && line_[end] == '"') {
            ++end;
            while (end < line_.size()) {
                if (line_[end] == '"' && (end + 1 == line_.size() || line_[end + 1] != '"')) break;
                end += line_[end] == '"' ? 2 : 1;
            }
        }
        end = std::min(line_.find(',', end), line_.size());
        field = line_.substr(pos_, end - pos_);
        if (end == line_.size()) {
            done_ = true;
        } else {
            pos_ = end + 1;
        }
        return true;
    }

    std::string_view line_;
    separator_kind separator_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

// `field` without the double quotes around it: R's write.table and many spreadsheets quote
// every text field.
inline std::string_view without_quotes(std::string_view field) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') return field.substr(1, field.size() - 2);
    return field;
}

// Detection's view of a line: its fields (at most a few thousand, from a bounded prefix).
std::vector<std::string_view> split_all(std::string_view line, separator_kind separator);

char lower(char c);

bool equals_lower(std::string_view text, std::string_view lower_word);

std::string_view trim(std::string_view text);

// A header field as a column name: without blanks and quotes around it, and the first field
// without the '#' some databases put before their header.
std::string_view header_name(std::string_view field, bool first);

std::vector<std::string_view> header_names(std::string_view line, separator_kind separator);

bool named(const std::vector<std::string_view>& names, std::size_t i, std::string_view lower_word);

// Whether `line` holds one of `wanted` outside double quotes (within the detection prefix).
bool holds_outside_quotes(std::string_view line, bool (*wanted)(char));

bool is_comma(char c);

bool is_tab(char c);

// Whether the first lines of a table without a tab are comma-separated: each holds a comma
// outside double quotes and the first holds no blank outside them. A blank-separated list
// whose fields hold commas ("a b 0,5") stays blank-separated, as it always was.
bool looks_comma_separated(std::span<const std::string_view> lines);

// How the fields of a table named by --columns, or of a header line, are separated: tabs when
// the line holds one, commas when it is comma-separated, else `otherwise`.
separator_kind line_separator(std::string_view line, separator_kind otherwise);

std::size_t find_name(const std::vector<std::string_view>& fields, std::string_view name);

bool is_comment(std::string_view line);

bool is_digits(std::string_view text);

// The column of `name_a` when it and `name_b` are the first two header names, or follow an
// unnamed row-name column; no_column otherwise.
std::size_t pair_of_names(const std::vector<std::string_view>& names, std::string_view name_a, std::string_view name_b);

// Sets identifier columns by header names; false when a name is missing.
bool set_named_ids(table_layout& layout, const std::vector<std::string_view>& fields, std::string_view name_a,
                   std::string_view name_b);

std::string column_number(std::size_t index);

} // namespace ppi::io::tables
