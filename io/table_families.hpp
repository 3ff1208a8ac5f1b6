#pragma once

#include "io/table_format.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What each format family knows of its own files: how its header names the columns, how a row
// of it looks without a header, and where its identifiers, weight and taxa are. One file per
// family (format_*.cpp) defines them; detection (table_detection.cpp) and row extraction
// (table_rows.cpp) use them. Not a public interface.
namespace ppi::io::tables {

// The families --format names, in the order the help lists them.
inline constexpr std::array<table_family, 11> named_families = {
    table_family::plain,       table_family::string_links, table_family::string_export,
    table_family::biogrid,     table_family::mitab,        table_family::huri,
    table_family::huri_table9, table_family::bioplex,      table_family::hippie,
    table_family::hint,        table_family::csv};

// MITAB columns 1-2 (ids), 10-11 (taxa) and 15 (confidence), the same in every version.
void set_mitab(table_layout& layout);

bool is_mitab_header_name(std::string_view name);

// A MITAB row without a header: 15 or more tab-separated fields, "db:id" identifiers and a
// "taxid:" (or empty) taxon column.
bool looks_like_mitab_row(std::string_view line);

// Whether a MITAB taxon list ("taxid:4932(yeast)|taxid:1111708(syny3)") names `taxon`.
bool lists_taxon(std::string_view list, std::string_view taxon);

// A MITAB confidence column: the "intact-miscore" entry, or the column's only entry when its
// value is a plain number from 0 to 1. Lists of several scores ("lpr:1|hpr:1|np:1|") and
// grades ("author-score:C") give no weight.
double mitab_confidence(std::string_view list);

// STRING bulk links (space-separated, "protein1 protein2 ... combined_score", 0-1000) and the
// web export (tab-separated, "#node1 node2 ... combined_score", already 0-1); either also as
// CSV, maybe with a row-name column first (R's write.csv, pandas' to_csv).
void set_string(table_layout& layout, const std::vector<std::string_view>& fields, bool bulk, std::size_t first,
                separator_kind separator);

// STRING protein.links read by --format string without its header: "protein1 protein2 score".
void set_headerless_string(table_layout& layout);

// HuRI ("GeneA GeneB", or "A B" over ENSG identifiers), with the header's names as labels.
void set_huri(table_layout& layout, const std::vector<std::string_view>& names, separator_kind separator);

// HuRI Supplementary Table 9 ("Ensembl_gene_id_a Ensembl_gene_id_b ...").
void set_huri_table9(table_layout& layout, const std::vector<std::string_view>& names, separator_kind separator);

// BioGRID TAB 2.0/3.0: columns found by name.
std::string set_biogrid(table_layout& layout, const std::vector<std::string_view>& fields,
                        const format_options& options);

std::string set_bioplex(table_layout& layout, const std::vector<std::string_view>& fields,
                        const format_options& options);

bool is_bioplex_header(const std::vector<std::string_view>& names);

// HINT ("Uniprot_A Uniprot_B Gene_A Gene_B ..."): UniProt accessions, or gene names with
// --ids symbol.
std::string set_hint(table_layout& layout, const std::vector<std::string_view>& fields, const format_options& options,
                     separator_kind separator);

// HIPPIE: no header, "name A, Entrez A, name B, Entrez B, score, evidence"; Entrez gene ids by
// default (they are never empty), UniProt entry names with --ids uniprot; the score is the weight.
std::string set_hippie(table_layout& layout, const format_options& options);

// A HIPPIE row: 5 or 6 tab-separated fields, UniProt entry names (or empty) in 1 and 3, Entrez
// ids in 2 and 4 and a score from 0 to 1 in 5.
bool looks_like_hippie_row(std::string_view line);

// Whether the first data line of a table without a known header names columns: both
// identifier fields are column names, or the third field is text where the next line has a
// number.
bool looks_like_header(std::string_view first, const std::string_view* second, separator_kind separator);

bool holds_quote(std::span<const sample_line> lines);

// A comma-separated edge list: fields 1 and 2, a numeric field 3 is a weight.
void set_comma_list(table_layout& layout);

// A plain (or comma-separated) list's third column is a weight when it holds a number.
void set_list_weight(const std::vector<std::string_view>& data, bool verbatim, table_layout& layout);

// --columns A,B[,W]: numbers or header names.
detection detect_columns(std::span<const sample_line> lines, const std::vector<std::string_view>& data,
                         const std::vector<std::uint64_t>& data_numbers, const format_options& options);

std::string missing_columns(std::string_view format, std::string_view a, std::string_view b);

std::string_view family_name(table_family family);

} // namespace ppi::io::tables
