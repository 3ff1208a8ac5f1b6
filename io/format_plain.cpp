#include "io/table_families.hpp"

#include "io/strict_number.hpp"
#include "io/table_fields.hpp"

// Plain edge lists and comma-separated ones: what a header of no known format looks like,
// and when a third column is a weight.
namespace ppi::io::tables {

namespace {

// A column name such as "GeneA", "protein_1", "node2" or "source": the first line of a table
// whose header this reader does not know.
bool is_header_word(std::string_view field) {
    field = without_quotes(field);
    static constexpr std::array<std::string_view, 4> whole = {"source", "target", "interactor", "partner"};
    for (const auto word : whole) {
        if (equals_lower(field, word)) return true;
    }
    if (field.size() < 2) return false;
    const char last = lower(field.back());
    if (last != 'a' && last != 'b' && last != '1' && last != '2') return false;
    std::string_view stem = field.substr(0, field.size() - 1);
    if (!stem.empty() && (stem.back() == '_' || stem.back() == '-' || stem.back() == '.')) stem.remove_suffix(1);
    static constexpr std::array<std::string_view, 11> stems = {
        "protein", "gene", "node", "interactor", "id", "uniprot", "entrez", "symbol", "ensembl", "prot", "partner"};
    for (const auto word : stems) {
        if (equals_lower(stem, word)) return true;
    }
    return false;
}

// R's write.table header: every field quoted, one field fewer than the rows, which start with
// their row name.
bool is_row_named_header(const std::vector<std::string_view>& header, const std::vector<std::string_view>& row) {
    if (header.size() < 2 || row.size() != header.size() + 1) return false;
    return std::all_of(header.begin(), header.end(),
                       [](std::string_view f) { return f.size() >= 2 && f.front() == '"' && f.back() == '"'; });
}

} // namespace

// Whether the first data line of a table without a known header names columns: both
// identifier fields are column names, or the third field is text where the next line has a
// number.
bool looks_like_header(std::string_view first, const std::string_view* second, separator_kind separator) {
    const auto fields = split_all(first, separator);
    if (fields.size() >= 2 && is_header_word(fields[0]) && is_header_word(fields[1])) return true;
    if (!second) return false;
    const auto next = split_all(*second, separator);
    if (is_row_named_header(fields, next)) return true;
    if (fields.size() < 3) return false;
    double value = 0;
    if (parse_real(without_quotes(fields[2]), value)) return false;
    return next.size() >= 3 && parse_real(without_quotes(next[2]), value);
}

bool holds_quote(std::span<const sample_line> lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const sample_line& l) { return l.text.find('"') != std::string_view::npos; });
}

// A comma-separated edge list: fields 1 and 2, a numeric field 3 is a weight.
void set_comma_list(table_layout& layout) {
    layout.family = table_family::csv;
    layout.name = "comma-separated edge list";
    layout.separator = separator_kind::comma;
}

// A plain (or comma-separated) list's third column is a weight when it holds a number.
void set_list_weight(const std::vector<std::string_view>& data, bool verbatim, table_layout& layout) {
    if (data.empty()) return;
    const auto first = split_all(data[0], layout.separator);
    double value = 0;
    if (first.size() >= 3 && parse_real(verbatim ? first[2] : without_quotes(first[2]), value)) {
        layout.weight_column = 2;
        layout.weight = weight_rule::number;
    }
}

} // namespace ppi::io::tables
