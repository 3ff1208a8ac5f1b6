#include "io/table_families.hpp"

#include "io/strict_number.hpp"
#include "io/table_fields.hpp"

// Tables read by --columns A,B[,W]: column numbers or header names.
namespace ppi::io::tables {

namespace {

// Splits "A,B[,W]"; false unless there are two or three non-empty items.
bool split_columns(std::string_view text, std::vector<std::string_view>& items) {
    items.clear();
    while (true) {
        const std::size_t comma = text.find(',');
        items.push_back(text.substr(0, comma));
        if (items.back().empty()) return false;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return items.size() == 2 || items.size() == 3;
}

bool parse_column_number(std::string_view text, std::size_t& index) {
    std::uint64_t value = 0;
    if (!parse_count(text, 1, 100000, value)) return false;
    index = value - 1;
    return true;
}

// Labels from the first data line when it is a header: its weight column holds text, or it
// looks like one.
void take_labels_by_number(const std::vector<std::string_view>& data, const std::vector<std::uint64_t>& data_numbers,
                           std::size_t items, const std::array<std::size_t, 3>& index, table_layout& layout) {
    layout.separator = line_separator(data[0], separator_kind::blanks);
    double value = 0;
    const auto first = header_names(data[0], layout.separator);
    const bool text_weight = items == 3 && index[2] < first.size() && !parse_real(first[index[2]], value);
    if (text_weight || looks_like_header(data[0], data.size() > 1 ? &data[1] : nullptr, layout.separator)) {
        layout.header_line = data_numbers[0];
        if (index[0] < first.size()) layout.label_a = first[index[0]];
        if (index[1] < first.size()) layout.label_b = first[index[1]];
        if (items == 3 && index[2] < first.size()) layout.label_weight = first[index[2]];
    }
}

// Columns named by the first line (numbers among the names are numbers); false with
// found.error set when a name is not there.
bool find_named_columns(std::span<const sample_line> lines, const std::vector<std::string_view>& items,
                        std::array<std::size_t, 3>& index, detection& found) {
    table_layout& layout = found.layout;
    if (lines.empty()) {
        found.error = "--columns names columns, but the file is empty";
        return false;
    }
    std::string_view header = lines[0].text;
    layout.separator = line_separator(header, separator_kind::blanks);
    const auto fields = header_names(header, layout.separator);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!parse_column_number(items[i], index[i])) index[i] = find_name(fields, items[i]);
        if (index[i] == no_column) {
            found.error = "--columns: the first line has no column '" + std::string(items[i]) + "'";
            found.error_line = lines[0].number;
            return false;
        }
    }
    layout.header_line = lines[0].number;
    layout.label_a = fields[index[0]];
    layout.label_b = fields[index[1]];
    if (items.size() == 3) layout.label_weight = fields[index[2]];
    return true;
}

} // namespace

// --columns A,B[,W]: numbers or header names.
detection detect_columns(std::span<const sample_line> lines, const std::vector<std::string_view>& data,
                         const std::vector<std::uint64_t>& data_numbers, const format_options& options) {
    detection found;
    table_layout& layout = found.layout;
    layout.family = table_family::columns;
    layout.name = "table by --columns";
    layout.taxon = options.taxon;
    std::vector<std::string_view> items;
    split_columns(options.columns, items);
    std::array<std::size_t, 3> index = {no_column, no_column, no_column};
    bool by_number = true;
    for (std::size_t i = 0; i < items.size(); ++i) by_number = by_number && parse_column_number(items[i], index[i]);
    if (by_number) {
        if (data.empty()) return found;
        take_labels_by_number(data, data_numbers, items.size(), index, layout);
    } else if (!find_named_columns(lines, items, index, found)) {
        return found;
    }
    layout.column_a = index[0];
    layout.column_b = index[1];
    layout.min_columns = std::max(index[0], index[1]) + 1;
    if (items.size() == 3) {
        layout.weight_column = index[2];
        layout.weight = weight_rule::number;
        layout.min_columns = std::max(layout.min_columns, index[2] + 1);
    }
    return found;
}

} // namespace ppi::io::tables
