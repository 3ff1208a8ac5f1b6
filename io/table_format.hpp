#pragma once

#include "io/format_options.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Interaction tables as people download them: plain edge lists, STRING links and web exports
// (also as CSV), BioGRID TAB 2.0/3.0, PSI-MITAB 2.5-2.8, HuRI, BioPlex, HIPPIE, HINT,
// comma-separated edge lists, or any table named by --columns. The
// format is detected from the first lines of a file; each later line is turned into a row (two
// identifiers and an optional weight) or a reason to skip it. Pure functions over string views,
// no allocation per row.
namespace ppi::io {

enum class table_family {
    plain, string_links, string_export, biogrid, mitab, huri, huri_table9, bioplex, columns, hippie, hint, csv
};

// How a row splits into fields: runs of blanks and tabs (plain edge lists), single spaces
// (STRING bulk files), single tabs (most other formats; their fields hold spaces), or commas
// (CSV; a field in double quotes may hold commas).
enum class separator_kind { blanks, space, tab, comma };

// Detection looks at no more than this many bytes of a line: a header or a first row longer
// than that is judged by its beginning (a first line of 200 MB must not be split whole).
inline constexpr std::size_t detection_prefix_bytes = std::size_t{1} << 16;

// Removes a UTF-8 byte-order mark at the start of `line`; true when there was one.
bool strip_byte_order_mark(std::string_view& line);

inline constexpr std::size_t no_column = std::numeric_limits<std::size_t>::max();

// How the weight column is read: not at all, as a plain number (an error when it is not one),
// or as a PSI-MITAB confidence list (a weight when one entry is a usable score, else none).
enum class weight_rule { none, number, mitab_confidence };

// How a row's species is found: not at all, a bare taxon id per interactor (BioGRID), MITAB
// "taxid:N(name)|..." lists, or the "TAXID." prefix of STRING protein ids.
enum class taxon_rule { none, bare_id, mitab_taxids, id_prefix };

// Where a format keeps what a row needs; made by detect_table.
struct table_layout {
    table_family family = table_family::plain;
    std::string name = "plain edge list";
    separator_kind separator = separator_kind::blanks;
    std::uint64_t header_line = 0;  // number of the header line in the file, 0 when none
    std::size_t column_a = 0;
    std::size_t column_b = 1;
    std::size_t weight_column = no_column;
    weight_rule weight = weight_rule::none;
    double weight_scale = 1.0;   // STRING bulk scores are 0-1000
    std::size_t min_columns = 2;  // a row with fewer is an error
    std::size_t type_column = no_column;  // BioGRID "Experimental System Type"
    std::size_t taxon_a = no_column;
    std::size_t taxon_b = no_column;
    taxon_rule taxa = taxon_rule::none;
    std::string taxon;  // kept species, "" for all
    bool keep_genetic = false;
    bool first_of_list = false;  // identifier fields hold "id|id|...": the first one is used
    bool skip_missing_ids = false;  // "-" or empty identifier: row skipped, not an interaction
    bool strip_quotes = true;  // a field in double quotes is read without them (not --format plain)
    std::string label_a, label_b, label_weight;  // header names of the columns used, if known
};

// A non-blank line among a file's first lines, with its line number.
struct sample_line {
    std::string_view text;
    std::uint64_t number = 0;
};

struct detection {
    table_layout layout;
    std::string error;       // empty on success; otherwise what is wrong with line error_line
    std::uint64_t error_line = 0;
};

// Detects the format of a file from its first non-blank lines (at least up to the second line
// that does not start with '#', when the file has one) and the options. A first line that
// looks like a header of no known format is an error, never an interaction.
detection detect_table(std::span<const sample_line> lines, const format_options& options);

// What a data line gave.
enum class row_kind : std::uint8_t {
    pair,             // a and b (and weight) are set
    genetic,          // BioGRID genetic interaction, skipped
    other_taxon,      // an interactor of another species than the kept one, skipped
    missing_id,       // an identifier column is "-" or empty, skipped
    too_few_columns,  // error: columns_found says how many there were
    bad_weight,       // error: field holds the weight that is not a number
};

struct table_row {
    std::string_view a;
    std::string_view b;
    double weight = std::numeric_limits<double>::quiet_NaN();  // NaN: the row has none
    std::string_view field;         // bad_weight: the offending text
    std::size_t columns_found = 0;  // too_few_columns: how many columns the line has
};

// Extracts the row of a data line (not blank, not a comment, not the header) by `layout`.
row_kind extract_row(const table_layout& layout, std::string_view line, table_row& row);

// One-line text for an error kind returned by extract_row (without file name and line).
std::string describe_row_error(const table_layout& layout, row_kind kind, const table_row& row);

// The format and the columns used, for the log: "STRING protein.links (space-separated, header
// on line 1): ids from columns 1 (protein1) and 2 (protein2), weight from column 16 ...".
std::string describe_layout(const table_layout& layout);

// Rows skipped for a reason other than self-pairs and repeats.
struct table_counts {
    std::uint64_t genetic = 0;
    std::uint64_t other_taxon = 0;
    std::uint64_t missing_id = 0;
};

// "26 genetic, 0 of another taxon, ..." for the reasons that apply to the layout.
std::string describe_skips(const table_layout& layout, const table_counts& counts);

// The --format name of a family ("plain", "string", ...; "columns" for --columns).
std::string_view format_name(table_family family);

// The names --format accepts, comma-separated.
std::string format_names();
bool is_format_name(std::string_view name);

// The first `max_fields` fields of `line` as `separator` splits them.
std::vector<std::string_view> split_fields(std::string_view line, separator_kind separator, std::size_t max_fields);

// `field` without the double quotes around it, if it has them.
std::string_view unquote(std::string_view field);

}  // namespace ppi::io
