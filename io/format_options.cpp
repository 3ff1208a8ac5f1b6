#include "io/format_options.hpp"

#include "io/strict_number.hpp"
#include "io/table_format.hpp"

#include <array>
#include <cmath>
#include <utility>

namespace ppi::io {

namespace {

using error_list = std::vector<format_option_error>;

void refuse(std::string_view option, std::string_view value, std::string problem, error_list& errors) {
    errors.push_back({std::string(option), std::string(value), std::move(problem)});
}

bool is_columns_text(std::string_view text) {
    std::size_t items = 1;
    bool empty_item = text.empty() || text.front() == ',' || text.back() == ',';
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ',') continue;
        ++items;
        if (i + 1 < text.size() && text[i + 1] == ',') empty_item = true;
    }
    return !empty_item && items >= 2 && items <= 3;
}

bool is_taxon_id(std::string_view text) {
    return !text.empty() && text.size() <= 12 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

void check_names(const format_request& request, format_options& options, error_list& errors) {
    if (const auto format = request.format) {
        if (is_format_name(*format)) {
            options.format = *format;
        } else {
            refuse("format", *format, "is not one of " + format_names(), errors);
        }
    }
    if (const auto columns = request.columns) {
        if (is_columns_text(*columns)) {
            options.columns = *columns;
        } else {
            refuse("columns", *columns, "is not A,B or A,B,W (column numbers from 1 or header names)", errors);
        }
    }
}

void check_selection(const format_request& request, format_options& options, error_list& errors) {
    if (const auto taxon = request.taxon) {
        if (is_taxon_id(*taxon)) {
            options.taxon = *taxon;
        } else {
            refuse("taxon", *taxon, "is not an NCBI taxon id (digits)", errors);
        }
    }
    if (const auto ids = request.ids; ids && !parse_id_choice(*ids, options.ids)) {
        refuse("ids", *ids, "is not one of entrez, biogrid, systematic, symbol, uniprot", errors);
    }
    options.keep_genetic = request.genetic;
    if (std::isinf(request.min_weight)) {
        refuse("min-weight", request.min_weight > 0 ? "inf" : "-inf", "is not a number", errors);
    } else {
        options.min_weight = request.min_weight;
    }
}

} // namespace

std::string format_option_error::command_line_text() const { return "--" + option + " '" + value + "' " + problem; }

bool parse_id_choice(std::string_view text, id_choice& choice) {
    static constexpr std::array<std::pair<std::string_view, id_choice>, 6> names = {{
        {"entrez", id_choice::entrez},
        {"biogrid", id_choice::biogrid},
        {"systematic", id_choice::systematic},
        {"symbol", id_choice::symbol},
        {"uniprot", id_choice::uniprot},
        {"swissprot", id_choice::uniprot},
    }};
    for (const auto& [name, value] : names) {
        if (text == name) {
            choice = value;
            return true;
        }
    }
    return false;
}

std::vector<format_option_error> check_format_options(const format_request& request, format_options& options) {
    error_list errors;
    check_names(request, options, errors);
    check_selection(request, options, errors);
    return errors;
}

bool note_format_option(std::string_view name, std::string_view value, format_request& request,
                        std::vector<std::string>& errors) {
    if (name == "--format") {
        request.format = value;
    } else if (name == "--columns") {
        request.columns = value;
    } else if (name == "--taxon") {
        request.taxon = value;
    } else if (name == "--ids") {
        request.ids = value;
    } else if (name == "--min-weight") {
        if (!parse_real(value, request.min_weight)) {
            errors.push_back("--min-weight '" + std::string(value) + "' is not a number");
        }
    } else {
        return false;
    }
    return true;
}

} // namespace ppi::io
