#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The options that say how to read an interaction table (--format, --columns, --taxon, --ids,
// --genetic, --min-weight), and their one check: the scorer's command line, its evaluate command
// and the Python package all build them through check_format_options, so that what one refuses
// the others refuse with the same words.
namespace ppi::io {

// Which identifier columns to read where a format offers several (BioGRID, BioPlex).
enum class id_choice { standard, entrez, biogrid, systematic, symbol, uniprot };

// What the command line says about the input format.
struct format_options {
    std::string format;  // "" detects; otherwise one of format_names()
    std::string columns; // "" or "A,B[,W]": 1-based column numbers or header names
    std::string taxon;   // "" keeps every species; otherwise an NCBI taxon id (digits)
    id_choice ids = id_choice::standard;
    bool keep_genetic = false; // BioGRID: keep genetic interactions too
    // --min-weight: rows whose weight is below it (or that have none) are dropped; NaN keeps all.
    double min_weight = std::numeric_limits<double>::quiet_NaN();

    // Whether the command line names the format or the columns: then the file is read as told,
    // without the plausibility check of what was read.
    bool forced() const { return !format.empty() || !columns.empty(); }
};

// Parses a --ids value; false when unknown.
bool parse_id_choice(std::string_view text, id_choice& choice);

// The format options as a caller gives them: each one's text (nothing when not given, so that
// an empty value is refused, not taken for "not given"), --genetic, and the weight cut (NaN:
// none; --min-weight's text is read by the caller, as numbers are read on its command line).
struct format_request {
    std::optional<std::string_view> format, columns, taxon, ids;
    bool genetic = false;
    double min_weight = std::numeric_limits<double>::quiet_NaN();
};

// A refused option: its name without dashes ("taxon"), the value given and what is wrong with it
// ("is not an NCBI taxon id (digits)").
struct format_option_error {
    std::string option;
    std::string value;
    std::string problem;

    // The line the command line reports: "--taxon 'abc' is not an NCBI taxon id (digits)".
    std::string command_line_text() const;
};

// Checks every option of `request` and fills `options` with the usable ones; one error per
// refused option, none when all are usable.
std::vector<format_option_error> check_format_options(const format_request& request, format_options& options);

// For a command-line parser: when `name` ("--format", "--columns", "--taxon", "--ids" or
// "--min-weight") is a format option that takes a value, records `value` in `request` (reading
// --min-weight's number; a line added to `errors` when it is none) and returns true; false for
// any other name.
bool note_format_option(std::string_view name, std::string_view value, format_request& request,
                        std::vector<std::string>& errors);

} // namespace ppi::io
