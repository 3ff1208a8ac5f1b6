#include "io/table_format.hpp"

#include "io/blank_scan.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace ppi::io {

namespace {

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

// `field` without the double quotes around it: R's write.table and many spreadsheets quote
// every text field.
inline std::string_view without_quotes(std::string_view field) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') return field.substr(1, field.size() - 2);
    return field;
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
    if (parse_number(without_quotes(fields[2]), value)) return false;
    return next.size() >= 3 && parse_number(without_quotes(next[2]), value);
}

std::string column_number(std::size_t index) { return std::to_string(index + 1); }

// MITAB columns 1-2 (ids), 10-11 (taxa) and 15 (confidence), the same in every version.
void set_mitab(table_layout& layout) {
    layout.family = table_family::mitab;
    layout.name = "PSI-MITAB";
    layout.separator = separator_kind::tab;
    layout.column_a = 0;
    layout.column_b = 1;
    layout.weight_column = 14;
    layout.weight = weight_rule::mitab_confidence;
    layout.min_columns = 15;
    layout.taxon_a = 9;
    layout.taxon_b = 10;
    layout.taxa = taxon_rule::mitab_taxids;
    layout.first_of_list = true;
    layout.skip_missing_ids = true;
    layout.label_a = "ID(s) interactor A";
    layout.label_b = "ID(s) interactor B";
    layout.label_weight = "Confidence value(s)";
}

bool is_mitab_header_name(std::string_view name) {
    while (!name.empty() && (name.front() == '#' || is_blank(name.front()))) name.remove_prefix(1);
    return equals_lower(name, "id(s) interactor a") || equals_lower(name, "id interactor a") ||
           equals_lower(name, "unique_identifier_a");
}

// A MITAB row without a header: 15 or more tab-separated fields, "db:id" identifiers and a
// "taxid:" (or empty) taxon column.
bool looks_like_mitab_row(std::string_view line) {
    const auto fields = split_all(line, separator_kind::tab);
    if (fields.size() < 15) return false;
    const auto is_taxa = [](std::string_view f) { return f == "-" || f.starts_with("taxid:"); };
    return fields[0].find(':') != std::string_view::npos && fields[1].find(':') != std::string_view::npos &&
           is_taxa(fields[9]) && is_taxa(fields[10]);
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

std::string missing_columns(std::string_view format, std::string_view a, std::string_view b) {
    return "the " + std::string(format) + " header has no column '" + std::string(a) + "' or '" + std::string(b) + "'";
}

// BioGRID TAB 2.0/3.0: columns found by name.
std::string set_biogrid(table_layout& layout, const std::vector<std::string_view>& fields, const format_options& options) {
    const bool tab3 = find_name(fields, "Organism ID Interactor A") != no_column;
    layout.family = table_family::biogrid;
    layout.name = tab3 ? "BioGRID TAB 3.0" : "BioGRID TAB 2.0";
    layout.separator = separator_kind::tab;
    std::string_view a = "Entrez Gene Interactor A", b = "Entrez Gene Interactor B";
    switch (options.ids) {
    case id_choice::standard:
    case id_choice::entrez: break;
    case id_choice::biogrid: a = "BioGRID ID Interactor A", b = "BioGRID ID Interactor B"; break;
    case id_choice::systematic: a = "Systematic Name Interactor A", b = "Systematic Name Interactor B"; break;
    case id_choice::symbol: a = "Official Symbol Interactor A", b = "Official Symbol Interactor B"; break;
    case id_choice::uniprot: a = "SWISS-PROT Accessions Interactor A", b = "SWISS-PROT Accessions Interactor B"; break;
    }
    if (!set_named_ids(layout, fields, a, b)) return missing_columns(layout.name, a, b);
    layout.type_column = find_name(fields, "Experimental System Type");
    if (layout.type_column == no_column) return "the BioGRID header has no column 'Experimental System Type'";
    layout.taxon_a = find_name(fields, tab3 ? "Organism ID Interactor A" : "Organism Interactor A");
    layout.taxon_b = find_name(fields, tab3 ? "Organism ID Interactor B" : "Organism Interactor B");
    if (layout.taxon_a != no_column && layout.taxon_b != no_column) layout.taxa = taxon_rule::bare_id;
    layout.first_of_list = options.ids == id_choice::uniprot;  // accessions may be "P1|P2"
    layout.skip_missing_ids = true;
    layout.min_columns = std::max({layout.column_a, layout.column_b, layout.type_column}) + 1;
    if (layout.taxa != taxon_rule::none) layout.min_columns = std::max({layout.min_columns, layout.taxon_a + 1, layout.taxon_b + 1});
    return {};
}

std::string set_bioplex(table_layout& layout, const std::vector<std::string_view>& fields, const format_options& options) {
    layout.family = table_family::bioplex;
    layout.name = "BioPlex";
    layout.separator = separator_kind::tab;
    std::string_view a = "GeneA", b = "GeneB";
    if (options.ids == id_choice::symbol) a = "SymbolA", b = "SymbolB";
    if (options.ids == id_choice::uniprot) a = "UniprotA", b = "UniprotB";
    set_named_ids(layout, fields, a, b);
    for (const std::string_view name : {"p(Interaction)", "pInt"}) {
        if (const std::size_t column = find_name(fields, name); column != no_column) {
            layout.weight_column = column;
            layout.weight = weight_rule::number;
            layout.label_weight = name;
        }
    }
    layout.skip_missing_ids = true;
    layout.min_columns = fields.size();
    return {};
}

// STRING bulk links (space-separated, "protein1 protein2 ... combined_score", 0-1000) and the
// web export (tab-separated, "#node1 node2 ... combined_score", already 0-1); either also as
// CSV, maybe with a row-name column first (R's write.csv, pandas' to_csv).
void set_string(table_layout& layout, const std::vector<std::string_view>& fields, bool bulk, std::size_t first,
                separator_kind separator) {
    layout.family = bulk ? table_family::string_links : table_family::string_export;
    layout.name = bulk ? "STRING protein.links" : "STRING network export";
    layout.separator = separator;
    layout.column_a = first;
    layout.column_b = first + 1;
    layout.label_a = bulk ? "protein1" : "node1";
    layout.label_b = bulk ? "protein2" : "node2";
    layout.weight_column = find_name(fields, "combined_score");
    layout.weight = weight_rule::number;
    layout.weight_scale = bulk ? 0.001 : 1.0;
    layout.label_weight = "combined_score";
    layout.min_columns = fields.size();
    if (bulk) layout.taxa = taxon_rule::id_prefix;
}

// The column of `name_a` when it and `name_b` are the first two header names, or follow an
// unnamed row-name column; no_column otherwise.
std::size_t pair_of_names(const std::vector<std::string_view>& names, std::string_view name_a, std::string_view name_b) {
    if (named(names, 0, name_a) && named(names, 1, name_b)) return 0;
    if (names.size() >= 3 && names[0].empty() && named(names, 1, name_a) && named(names, 2, name_b)) return 1;
    return no_column;
}

// HINT ("Uniprot_A Uniprot_B Gene_A Gene_B ..."): UniProt accessions, or gene names with
// --ids symbol.
std::string set_hint(table_layout& layout, const std::vector<std::string_view>& fields, const format_options& options,
                     separator_kind separator) {
    layout.family = table_family::hint;
    layout.name = "HINT";
    layout.separator = separator;
    std::string_view a = "Uniprot_A", b = "Uniprot_B";
    if (options.ids == id_choice::symbol) {
        a = "Gene_A", b = "Gene_B";
    } else if (options.ids != id_choice::standard && options.ids != id_choice::uniprot) {
        return "HINT has UniProt accessions (the default) and gene names (--ids symbol), no other identifiers";
    }
    if (!set_named_ids(layout, fields, a, b)) return missing_columns(layout.name, a, b);
    layout.skip_missing_ids = true;
    layout.min_columns = std::max(layout.column_a, layout.column_b) + 1;
    return {};
}

// HIPPIE: no header, "name A, Entrez A, name B, Entrez B, score, evidence"; Entrez gene ids by
// default (they are never empty), UniProt entry names with --ids uniprot; the score is the weight.
std::string set_hippie(table_layout& layout, const format_options& options) {
    layout.family = table_family::hippie;
    layout.name = "HIPPIE";
    layout.separator = separator_kind::tab;
    if (options.ids == id_choice::uniprot) {
        layout.column_a = 0, layout.column_b = 2;
        layout.label_a = "UniProt name A", layout.label_b = "UniProt name B";
    } else if (options.ids == id_choice::standard || options.ids == id_choice::entrez) {
        layout.column_a = 1, layout.column_b = 3;
        layout.label_a = "Entrez id A", layout.label_b = "Entrez id B";
    } else {
        return "HIPPIE has Entrez gene ids (the default) and UniProt names (--ids uniprot), no other identifiers";
    }
    layout.weight_column = 4;
    layout.weight = weight_rule::number;
    layout.label_weight = "score";
    layout.min_columns = 5;
    layout.skip_missing_ids = true;
    return {};
}

bool is_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A UniProt entry name: "AL1A1_HUMAN".
bool is_entry_name(std::string_view text) {
    const std::size_t bar = text.find('_');
    if (bar == 0 || bar == std::string_view::npos || bar + 1 == text.size()) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
}

// A HIPPIE row: 5 or 6 tab-separated fields, UniProt entry names (or empty) in 1 and 3, Entrez
// ids in 2 and 4 and a score from 0 to 1 in 5.
bool looks_like_hippie_row(std::string_view line) {
    const auto fields = split_all(line, separator_kind::tab);
    if (fields.size() < 5 || fields.size() > 6) return false;
    double score = -1;
    const auto name = [](std::string_view f) { return f.empty() || is_entry_name(f); };
    return name(fields[0]) && name(fields[2]) && (!fields[0].empty() || !fields[2].empty()) && is_digits(fields[1]) &&
           is_digits(fields[3]) && parse_number(fields[4], score) && score >= 0 && score <= 1;
}

bool is_bioplex_header(const std::vector<std::string_view>& names) {
    static constexpr std::array<std::string_view, 6> columns = {"genea", "geneb", "uniprota", "uniprotb", "symbola", "symbolb"};
    if (names.size() < 7) return false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!named(names, i, columns[i])) return false;
    }
    return true;
}

// Sets the layout of a known header of names separated by `separator`; false when there is none.
bool set_known_header(const std::vector<std::string_view>& names, separator_kind separator, const sample_line* next,
                      const format_options& options, table_layout& layout, std::string& error) {
    const bool tab = separator == separator_kind::tab;
    const bool space = separator == separator_kind::space;
    std::size_t first = no_column;
    if (tab && named(names, 0, "biogrid interaction id")) {
        error = set_biogrid(layout, names, options);
    } else if (tab && ((names.size() >= 2 && is_mitab_header_name(names[0])) ||
                       (names.size() >= 3 && names[0].empty() && is_mitab_header_name(names[1])))) {
        // DIP writes its header starting with a tab, one column right of the data.
        set_mitab(layout);
    } else if (!space && names.size() >= 3 && (first = pair_of_names(names, "node1", "node2")) != no_column &&
               find_name(names, "combined_score") != no_column) {
        set_string(layout, names, false, first, separator);
    } else if (!tab && names.size() >= 3 && (first = pair_of_names(names, "protein1", "protein2")) != no_column &&
               find_name(names, "combined_score") != no_column) {
        set_string(layout, names, true, first, separator);
    } else if (!space && names.size() == 2 &&
               (pair_of_names(names, "genea", "geneb") == 0 ||
                // a copy of HuRI.tsv headed "A<TAB>B"
                (pair_of_names(names, "a", "b") == 0 && next && next->text.starts_with("ENSG")))) {
        layout.family = table_family::huri;
        layout.name = "HuRI";
        layout.separator = separator;
        layout.label_a = names[0];
        layout.label_b = names[1];
    } else if (!space && pair_of_names(names, "ensembl_gene_id_a", "ensembl_gene_id_b") == 0) {
        layout.family = table_family::huri_table9;
        layout.name = "HuRI Supplementary Table 9";
        layout.separator = separator;
        layout.label_a = names[0];
        layout.label_b = names[1];
        layout.min_columns = names.size();
    } else if (tab && is_bioplex_header(names)) {
        error = set_bioplex(layout, names, options);
    } else if (!space && pair_of_names(names, "uniprot_a", "uniprot_b") == 0) {
        error = set_hint(layout, names, options, separator);
    } else {
        return false;
    }
    return true;
}

// Recognises a known header line; returns false when `line` is none. Column names are matched
// whatever their case, with or without quotes and a leading '#' (which spreadsheet round trips
// drop).
bool recognise_header(const sample_line& line, const sample_line* next, const format_options& options,
                      detection& found) {
    table_layout& layout = found.layout;
    const separator_kind separator = line_separator(line.text, separator_kind::space);
    std::string error;
    if (!set_known_header(header_names(line.text, separator), separator, next, options, layout, error)) return false;
    layout.header_line = line.number;
    if (!error.empty()) {
        found.error = error;
        found.error_line = line.number;
    }
    return true;
}

std::string_view family_name(table_family family) {
    switch (family) {
    case table_family::plain: return "plain";
    case table_family::string_links: return "string";
    case table_family::string_export: return "string-export";
    case table_family::biogrid: return "biogrid";
    case table_family::mitab: return "mitab";
    case table_family::huri: return "huri";
    case table_family::huri_table9: return "huri-table9";
    case table_family::bioplex: return "bioplex";
    case table_family::columns: return "columns";
    case table_family::hippie: return "hippie";
    case table_family::hint: return "hint";
    case table_family::csv: return "csv";
    }
    return "plain";
}

constexpr std::array<table_family, 11> named_families = {
    table_family::plain,  table_family::string_links, table_family::string_export, table_family::biogrid,
    table_family::mitab,  table_family::huri,         table_family::huri_table9,   table_family::bioplex,
    table_family::hippie, table_family::hint,         table_family::csv};

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
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 100000) return false;
    index = value - 1;
    return true;
}

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
        layout.separator = line_separator(data[0], separator_kind::blanks);
        double value = 0;
        const auto first = header_names(data[0], layout.separator);
        const bool text_weight = items.size() == 3 && index[2] < first.size() && !parse_number(first[index[2]], value);
        if (text_weight || looks_like_header(data[0], data.size() > 1 ? &data[1] : nullptr, layout.separator)) {
            layout.header_line = data_numbers[0];
            if (index[0] < first.size()) layout.label_a = first[index[0]];
            if (index[1] < first.size()) layout.label_b = first[index[1]];
            if (items.size() == 3 && index[2] < first.size()) layout.label_weight = first[index[2]];
        }
    } else {
        if (lines.empty()) {
            found.error = "--columns names columns, but the file is empty";
            return found;
        }
        std::string_view header = lines[0].text;
        layout.separator = line_separator(header, separator_kind::blanks);
        const auto fields = header_names(header, layout.separator);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!parse_column_number(items[i], index[i])) index[i] = find_name(fields, items[i]);
            if (index[i] == no_column) {
                found.error = "--columns: the first line has no column '" + std::string(items[i]) + "'";
                found.error_line = lines[0].number;
                return found;
            }
        }
        layout.header_line = lines[0].number;
        layout.label_a = fields[index[0]];
        layout.label_b = fields[index[1]];
        if (items.size() == 3) layout.label_weight = fields[index[2]];
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

bool holds_quote(std::span<const sample_line> lines) {
    return std::any_of(lines.begin(), lines.end(), [](const sample_line& l) { return l.text.find('"') != std::string_view::npos; });
}

// A comma-separated edge list: fields 1 and 2, a numeric field 3 is a weight.
void set_comma_list(table_layout& layout) {
    layout.family = table_family::csv;
    layout.name = "comma-separated edge list";
    layout.separator = separator_kind::comma;
}

// The layout --format asks for when the file has no header of that format.
std::string set_forced(table_layout& layout, std::string_view format, const format_options& options) {
    if (format == "mitab") {
        set_mitab(layout);
    } else if (format == "string") {
        layout.family = table_family::string_links;
        layout.name = "STRING protein.links";
        layout.separator = separator_kind::space;
        layout.weight_column = 2;
        layout.weight = weight_rule::number;
        layout.weight_scale = 0.001;
        layout.min_columns = 3;
        layout.taxa = taxon_rule::id_prefix;
    } else if (format == "huri") {
        layout.family = table_family::huri;
        layout.name = "HuRI";
        layout.separator = separator_kind::tab;
    } else if (format == "csv") {
        set_comma_list(layout);
    } else if (format == "hippie") {
        return set_hippie(layout, options);
    } else {
        return "--format " + std::string(format) + " needs the header line of that format";
    }
    return {};
}

}  // namespace

bool parse_number(std::string_view text, double& value) {
    if (text.empty()) return false;
    // Whole numbers (STRING scores) summed digit by digit, exact below 2^53: reading a 276 MB
    // STRING links file took 0.78 s of CPU with from_chars alone, 0.75 s with this path.
    if (text.size() <= 15) {
        std::uint64_t whole = 0;
        std::size_t i = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') whole = whole * 10 + static_cast<unsigned>(text[i++] - '0');
        if (i == text.size()) {
            value = static_cast<double>(whole);
            return true;
        }
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::string_view format_name(table_family family) { return family_name(family); }

std::string format_names() {
    std::string names;
    for (const table_family family : named_families) {
        if (!names.empty()) names += ", ";
        names += family_name(family);
    }
    return names;
}

bool is_format_name(std::string_view name) {
    return std::any_of(named_families.begin(), named_families.end(),
                       [&](table_family family) { return family_name(family) == name; });
}

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

namespace {

// Detection of a file without a header of a known format: MITAB and HIPPIE rows, or an edge
// list separated by blanks or commas (an unknown header is an error).
bool detect_headerless(std::span<const sample_line> lines, const std::vector<std::string_view>& data,
                       const std::vector<std::uint64_t>& data_numbers, const format_options& options,
                       detection& found) {
    table_layout& layout = found.layout;
    const std::string_view forced = options.format;
    if (data.empty()) return false;
    if ((forced.empty() || forced == "mitab") && looks_like_mitab_row(data[0])) {
        set_mitab(layout);
        return true;
    }
    if ((forced.empty() || forced == "hippie") && looks_like_hippie_row(data[0])) {
        found.error = set_hippie(layout, options);
        if (!found.error.empty()) found.error_line = lines[0].number;
        return true;
    }
    if (!forced.empty()) return false;
    const std::size_t sample = std::min<std::size_t>(data.size(), 2);
    const bool comma = looks_comma_separated(std::span<const std::string_view>(data.data(), sample));
    const separator_kind separator = comma ? separator_kind::comma : separator_kind::blanks;
    if (looks_like_header(data[0], data.size() > 1 ? &data[1] : nullptr, separator)) {
        found.error = comma ? "the first line looks like a header of an unknown format (the file is comma-separated); "
                              "name the columns with --columns A,B[,W]"
                            : "the first line looks like a header of an unknown format; name the columns with "
                              "--columns A,B[,W] or read it as an interaction with --format plain";
        found.error_line = data_numbers[0];
        return true;
    }
    if (comma) set_comma_list(layout);
    return false;
}

// A plain (or comma-separated) list's third column is a weight when it holds a number.
void set_list_weight(const std::vector<std::string_view>& data, bool verbatim, table_layout& layout) {
    if (data.empty()) return;
    const auto first = split_all(data[0], layout.separator);
    double value = 0;
    if (first.size() >= 3 && parse_number(verbatim ? first[2] : without_quotes(first[2]), value)) {
        layout.weight_column = 2;
        layout.weight = weight_rule::number;
    }
}

}  // namespace

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

namespace {

detection detect_layout(std::span<const sample_line> lines, const format_options& options) {
    std::vector<std::string_view> data;
    std::vector<std::uint64_t> data_numbers;
    for (const auto& line : lines) {
        if (!is_comment(line.text)) {
            data.push_back(line.text);
            data_numbers.push_back(line.number);
        }
    }
    if (!options.columns.empty()) return detect_columns(lines, data, data_numbers, options);

    detection found;
    table_layout& layout = found.layout;
    layout.taxon = options.taxon;
    layout.keep_genetic = options.keep_genetic;
    const std::string_view forced = options.format;
    bool known = !lines.empty() && forced != "plain" &&
                 recognise_header(lines[0], lines.size() > 1 ? &lines[1] : nullptr, options, found);
    if (!known && forced != "plain") known = detect_headerless(lines, data, data_numbers, options, found);
    if (known) {
        if (!found.error.empty()) return found;
        if (!forced.empty() && family_name(layout.family) != forced) {
            found.error = "--format " + std::string(forced) + " given, but the file is " + layout.name;
            found.error_line = lines[0].number;
        }
        return found;
    }
    if (!forced.empty() && forced != "plain") {
        found.error = set_forced(layout, forced, options);
        if (!found.error.empty()) found.error_line = lines.empty() ? 0 : lines[0].number;
    }
    if (layout.family == table_family::plain || layout.family == table_family::csv) {
        set_list_weight(data, forced == "plain", layout);
    }
    return found;
}

}  // namespace

detection detect_table(std::span<const sample_line> full_lines, const format_options& options) {
    // Only a bounded prefix of each line is looked at (see detection_prefix_bytes).
    std::vector<sample_line> lines(full_lines.begin(), full_lines.end());
    for (auto& line : lines) line.text = line.text.substr(0, detection_prefix_bytes);
    detection found = detect_layout(lines, options);
    // Quotes are looked for where the first lines hold one (R and spreadsheets quote every
    // field) and in CSV; other files pay nothing per row for them.
    table_layout& layout = found.layout;
    layout.strip_quotes = options.format != "plain" && (layout.separator == separator_kind::comma || holds_quote(lines));
    return found;
}

namespace {

std::string_view first_of(std::string_view list) { return list.substr(0, list.find('|')); }

bool is_missing(std::string_view id) { return id.empty() || id == "-"; }

// Whether a MITAB taxon list ("taxid:4932(yeast)|taxid:1111708(syny3)") names `taxon`.
bool lists_taxon(std::string_view list, std::string_view taxon) {
    while (!list.empty()) {
        const std::size_t bar = list.find('|');
        std::string_view entry = list.substr(0, bar);
        if (entry.starts_with("taxid:")) {
            entry.remove_prefix(6);
            if (entry.starts_with(taxon) && (entry.size() == taxon.size() || entry[taxon.size()] == '(')) return true;
        }
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return false;
}

bool is_kept_taxon(const table_layout& layout, std::string_view a, std::string_view b, std::string_view taxon_a,
                   std::string_view taxon_b) {
    const std::string_view taxon = layout.taxon;
    switch (layout.taxa) {
    case taxon_rule::none: return true;
    case taxon_rule::bare_id: return trim(taxon_a) == taxon && trim(taxon_b) == taxon;
    case taxon_rule::mitab_taxids: return lists_taxon(taxon_a, taxon) && lists_taxon(taxon_b, taxon);
    case taxon_rule::id_prefix: return a.substr(0, a.find('.')) == taxon && b.substr(0, b.find('.')) == taxon;
    }
    return true;
}

// A MITAB confidence column: the "intact-miscore" entry, or the column's only entry when its
// value is a plain number from 0 to 1. Lists of several scores ("lpr:1|hpr:1|np:1|") and
// grades ("author-score:C") give no weight.
double mitab_confidence(std::string_view list) {
    double only = std::numeric_limits<double>::quiet_NaN();
    int entries = 0;
    while (!list.empty()) {
        const std::size_t bar = list.find('|');
        const std::string_view entry = list.substr(0, bar);
        if (!entry.empty() && entry != "-") {
            ++entries;
            const std::size_t colon = entry.find(':');
            double value = 0;
            if (colon != std::string_view::npos && parse_number(entry.substr(colon + 1), value)) {
                if (entry.substr(0, colon).ends_with("miscore")) return value;
                if (value >= 0 && value <= 1) only = value;
            }
        }
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return entries == 1 ? only : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

row_kind extract_row(const table_layout& layout, std::string_view line, table_row& row) {
    std::string_view a, b, weight, type, taxon_a, taxon_b;
    const std::size_t wanted =
        layout.weight_column == no_column ? layout.min_columns : std::max(layout.min_columns, layout.weight_column + 1);
    field_cursor cursor(line, layout.separator);
    std::size_t found = 0;
    std::string_view field;
    while (found < wanted && cursor.next(field)) {
        if (found == layout.column_a) a = field;
        if (found == layout.column_b) b = field;
        if (found == layout.weight_column) weight = field;
        if (found == layout.type_column) type = field;
        if (found == layout.taxon_a) taxon_a = field;
        if (found == layout.taxon_b) taxon_b = field;
        ++found;
    }
    if (found < layout.min_columns) {
        row.columns_found = found;
        return row_kind::too_few_columns;
    }
    if (layout.strip_quotes) {
        a = without_quotes(a);
        b = without_quotes(b);
        weight = without_quotes(weight);
        if (layout.type_column != no_column) type = without_quotes(type);
    }
    if (layout.type_column != no_column && !layout.keep_genetic && equals_lower(trim(type), "genetic")) {
        return row_kind::genetic;
    }
    if (layout.first_of_list) {
        a = first_of(a);
        b = first_of(b);
    }
    if (layout.skip_missing_ids && (is_missing(a) || is_missing(b))) return row_kind::missing_id;
    // An empty identifier field (two separators in a row) names no protein, in any format.
    if (a.empty() || b.empty()) return row_kind::missing_id;
    if (!layout.taxon.empty() && !is_kept_taxon(layout, a, b, taxon_a, taxon_b)) return row_kind::other_taxon;
    row.a = a;
    row.b = b;
    row.weight = std::numeric_limits<double>::quiet_NaN();
    if (layout.weight == weight_rule::number && weight.data() != nullptr) {
        double value = 0;
        if (parse_number(weight, value)) {
            row.weight = value * layout.weight_scale;
        } else if (layout.family != table_family::plain) {
            row.field = weight;
            return row_kind::bad_weight;
        }
        // A plain list's third column is a weight only where it is a number: files that carry
        // words or "NA" there stay readable, as unweighted networks.
    } else if (layout.weight == weight_rule::mitab_confidence) {
        row.weight = mitab_confidence(weight);
    }
    return row_kind::pair;
}

namespace {

std::string_view separator_text(separator_kind separator) {
    switch (separator) {
    case separator_kind::blanks: return "blank-separated";
    case separator_kind::space: return "space-separated";
    case separator_kind::tab: return "tab-separated";
    case separator_kind::comma: return "comma-separated";
    }
    return "";
}

std::string named_column(std::size_t index, const std::string& label) {
    std::string text = column_number(index);
    if (!label.empty()) text += " (" + label + ")";
    return text;
}

}  // namespace

std::string describe_row_error(const table_layout& layout, row_kind kind, const table_row& row) {
    if (kind == row_kind::too_few_columns) {
        if (layout.family == table_family::plain) return "expected two identifiers";
        return "expected at least " + std::to_string(layout.min_columns) + " " +
               std::string(separator_text(layout.separator)) + " columns (" + layout.name + "), found " +
               std::to_string(row.columns_found);
    }
    if (kind == row_kind::bad_weight) {
        return "weight '" + std::string(row.field) + "' in column " + named_column(layout.weight_column, layout.label_weight) +
               " is not a number";
    }
    return "not an interaction";
}

std::string describe_layout(const table_layout& layout) {
    std::string text = layout.name + " (" + std::string(separator_text(layout.separator));
    if (layout.header_line > 0) text += ", header on line " + std::to_string(layout.header_line);
    text += "): ids from columns " + named_column(layout.column_a, layout.label_a) + " and " +
            named_column(layout.column_b, layout.label_b);
    if (layout.first_of_list) text += ", the first of '|'-joined ids";
    if (layout.weight == weight_rule::number && layout.weight_column != no_column) {
        text += "; weights from column " + named_column(layout.weight_column, layout.label_weight);
        if (layout.weight_scale != 1.0) text += " divided by 1000";
    } else if (layout.weight == weight_rule::mitab_confidence) {
        text += "; weights from column " + named_column(layout.weight_column, layout.label_weight) +
                " when it holds a score from 0 to 1";
    } else {
        text += "; no weights";
    }
    if (layout.type_column != no_column && !layout.keep_genetic) text += "; physical interactions only";
    if (!layout.taxon.empty() && layout.taxa != taxon_rule::none) text += "; taxon " + layout.taxon + " only";
    return text;
}

std::string describe_skips(const table_layout& layout, const table_counts& counts) {
    std::string text;
    const auto add = [&](std::uint64_t count, const char* reason) {
        if (!text.empty()) text += ", ";
        text += std::to_string(count) + " " + reason;
    };
    if (layout.type_column != no_column && !layout.keep_genetic) add(counts.genetic, "genetic");
    if (!layout.taxon.empty() && layout.taxa != taxon_rule::none) add(counts.other_taxon, "of another taxon");
    if (layout.skip_missing_ids || counts.missing_id > 0) add(counts.missing_id, "without an identifier");
    return text;
}

}  // namespace ppi::io
