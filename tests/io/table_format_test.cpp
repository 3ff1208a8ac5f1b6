// Format detection and row extraction of interaction tables.
#include "io/strict_number.hpp"
#include "io/table_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using ppi::io::detection;
using ppi::io::format_options;
using ppi::io::row_kind;
using ppi::io::table_family;
using ppi::io::table_row;

// Detects from lines numbered from 1 (blank lines left out, as the reader does).
detection detect(const std::vector<std::string>& lines, const format_options& options = {}) {
    std::vector<ppi::io::sample_line> samples;
    for (std::size_t i = 0; i < lines.size(); ++i) samples.push_back({lines[i], i + 1});
    return ppi::io::detect_table(samples, options);
}

const std::string mitab_header =
    "#ID(s) interactor A\tID(s) interactor B\tAlt. ID(s) interactor A\tAlt. ID(s) interactor B\t"
    "Alias(es) interactor A\tAlias(es) interactor B\tInteraction detection method(s)\t"
    "Publication 1st author(s)\tPublication Identifier(s)\tTaxid interactor A\tTaxid interactor B\t"
    "Interaction type(s)\tSource database(s)\tInteraction identifier(s)\tConfidence value(s)";

std::string mitab_row(const std::string& a, const std::string& b, const std::string& taxa_a,
                      const std::string& taxa_b, const std::string& confidence) {
    return a + "\t" + b + "\t-\t-\t-\t-\tpsi-mi:\"MI:0018\"(two hybrid)\tSmith et al.\tpubmed:1\t" + taxa_a + "\t" +
           taxa_b + "\tpsi-mi:\"MI:0915\"(physical association)\tpsi-mi:\"MI:0469\"(IntAct)\tintact:EBI-1\t" +
           confidence;
}

const std::string biogrid3_header =
    "#BioGRID Interaction ID\tEntrez Gene Interactor A\tEntrez Gene Interactor B\tBioGRID ID Interactor A\t"
    "BioGRID ID Interactor B\tSystematic Name Interactor A\tSystematic Name Interactor B\t"
    "Official Symbol Interactor A\tOfficial Symbol Interactor B\tSynonyms Interactor A\tSynonyms Interactor B\t"
    "Experimental System\tExperimental System Type\tAuthor\tPublication Source\tOrganism ID Interactor A\t"
    "Organism ID Interactor B\tThroughput\tScore\tModification\tQualifications\tTags\tSource Database\t"
    "SWISS-PROT Accessions Interactor A\tTREMBL Accessions Interactor A\tREFSEQ Accessions Interactor A\t"
    "SWISS-PROT Accessions Interactor B";

std::string biogrid3_row(const std::string& type, const std::string& taxon_b = "9606") {
    return "103\t6416\t2318\t112315\t108607\tRP4-547C9.3\t-\tMAP2K4\tFLNC\tJNKK|MEK4\t-\tTwo-hybrid\t" + type +
           "\tMarcotte E (2001)\tPUBMED:1\t9606\t" + taxon_b + "\tLow Throughput\t-\t-\tfree text, spaced\t-\t"
           "BIOGRID\tP45985\t-\tNP_1\tQ14315|Q59H94";
}

// Extracts from a copy that outlives the call, so that the row's views stay valid until the
// next extraction even when `line` is a temporary.
row_kind extract(const detection& found, const std::string& line, table_row& row) {
    static std::string kept;
    kept = line;
    return ppi::io::extract_row(found.layout, kept, row);
}

TEST(table_detection, recognises_every_known_header) {
    struct known {
        std::string header;
        table_family family;
        ppi::io::separator_kind separator;
    };
    const std::vector<known> cases = {
        {"protein1 protein2 combined_score", table_family::string_links, ppi::io::separator_kind::space},
        {"#node1\tnode2\tnode1_string_id\tnode2_string_id\tcombined_score", table_family::string_export,
         ppi::io::separator_kind::tab},
        {biogrid3_header, table_family::biogrid, ppi::io::separator_kind::tab},
        {biogrid3_header.substr(1), table_family::biogrid, ppi::io::separator_kind::tab},
        {"node1\tnode2\tcombined_score", table_family::string_export, ppi::io::separator_kind::tab},
        {mitab_header, table_family::mitab, ppi::io::separator_kind::tab},
        {"# ID(s) interactor A\tID(s) interactor B\tx", table_family::mitab, ppi::io::separator_kind::tab},
        {"\tID interactor A\tID interactor B\tAlt. ID interactor A\t", table_family::mitab, ppi::io::separator_kind::tab},
        {"#unique_identifier_A\tunique_identifier_B\talt_identifier_A", table_family::mitab, ppi::io::separator_kind::tab},
        {"GeneA\tGeneB", table_family::huri, ppi::io::separator_kind::tab},
        {"Ensembl_gene_id_a\tEnsembl_gene_id_b\tin_screen_1", table_family::huri_table9, ppi::io::separator_kind::tab},
        {"GeneA\tGeneB\tUniprotA\tUniprotB\tSymbolA\tSymbolB\tpW\tpNI\tpInt", table_family::bioplex,
         ppi::io::separator_kind::tab},
    };
    for (const auto& c : cases) {
        const detection found = detect({c.header, "x\ty"});
        EXPECT_EQ(found.error, "") << c.header;
        EXPECT_EQ(found.layout.family, c.family) << c.header;
        EXPECT_EQ(found.layout.separator, c.separator) << c.header;
        EXPECT_EQ(found.layout.header_line, 1u) << c.header;
    }
}

TEST(table_detection, finds_string_and_biogrid_columns_by_name) {
    const detection full = detect({"protein1 protein2 neighborhood fusion cooccurence coexpression experimental "
                                   "database textmining combined_score"});
    EXPECT_EQ(full.layout.weight_column, 9u);
    EXPECT_EQ(full.layout.min_columns, 10u);
    EXPECT_DOUBLE_EQ(full.layout.weight_scale, 0.001);

    const detection entrez = detect({biogrid3_header});
    EXPECT_EQ(entrez.layout.name, "BioGRID TAB 3.0");
    EXPECT_EQ(entrez.layout.column_a, 1u);
    EXPECT_EQ(entrez.layout.type_column, 12u);
    EXPECT_EQ(entrez.layout.taxon_b, 16u);
    format_options options;
    options.ids = ppi::io::id_choice::uniprot;
    const detection swissprot = detect({biogrid3_header}, options);
    EXPECT_EQ(swissprot.layout.column_a, 23u);
    EXPECT_EQ(swissprot.layout.column_b, 26u);
    // TAB 2.0 has no SWISS-PROT columns: asking for them is an error, not a silent default.
    const detection tab2 = detect({"#BioGRID Interaction ID\tEntrez Gene Interactor A\tEntrez Gene Interactor B\t"
                                   "Experimental System Type\tOrganism Interactor A\tOrganism Interactor B"},
                                  options);
    EXPECT_NE(tab2.error, "");
    EXPECT_EQ(tab2.error_line, 1u);
}

TEST(table_detection, plain_edge_lists_stay_plain_and_a_numeric_third_column_is_a_weight) {
    EXPECT_EQ(detect({"# comment", "a b", "b c"}).layout.family, table_family::plain);
    EXPECT_EQ(detect({"a b extra", "b c extra"}).layout.weight, ppi::io::weight_rule::none);
    EXPECT_EQ(detect({"a\tb\t0.5", "b c 1"}).layout.weight_column, 2u);
    EXPECT_EQ(detect({"ENSG00000000005\tENSG00000061656"}).layout.family, table_family::plain);
    // Some copies of HuRI.tsv carry an "A<TAB>B" header; elsewhere A and B are proteins.
    EXPECT_EQ(detect({"A\tB", "ENSG00000000005\tENSG00000061656"}).layout.family, table_family::huri);
    EXPECT_EQ(detect({"A\tB", "B\tC"}).layout.family, table_family::plain);
    EXPECT_EQ(detect({}).layout.family, table_family::plain);
}

TEST(table_detection, an_unknown_header_is_an_error_at_its_line) {
    for (const auto& lines : std::vector<std::vector<std::string>>{
             {"# made by hand", "protein_a protein_b", "x y"},
             {"# made by hand", "GeneA GeneB", "x y"},
             {"# made by hand", "node1\tnode2\tcombined_score", "x\ty\t0.9"},
             {"# made by hand", "x y weight", "a b 0.9"}}) {
        const detection found = detect(lines);
        EXPECT_NE(found.error, "") << lines[1];
        EXPECT_EQ(found.error_line, 2u) << lines[1];
        format_options plain;
        plain.format = "plain";
        EXPECT_EQ(detect(lines, plain).error, "");
    }
}

TEST(table_detection, columns_by_number_or_name_and_forced_formats) {
    format_options options;
    options.columns = "3,1,2";
    const detection by_number = detect({"x\tscore\ty", "a\t0.5\tb"}, options);
    EXPECT_EQ(by_number.layout.column_a, 2u);
    EXPECT_EQ(by_number.layout.column_b, 0u);
    EXPECT_EQ(by_number.layout.weight_column, 1u);
    EXPECT_EQ(by_number.layout.header_line, 1u);  // its weight column holds a word
    EXPECT_EQ(detect({"a\t0.5\tb"}, options).layout.header_line, 0u);

    options.columns = "target,source";
    const detection by_name = detect({"#source\tkind\ttarget", "a\tx\tb"}, options);
    EXPECT_EQ(by_name.error, "");
    EXPECT_EQ(by_name.layout.column_a, 2u);
    EXPECT_EQ(by_name.layout.column_b, 0u);
    EXPECT_NE(detect({"a\tb"}, options).error, "");

    format_options forced;
    forced.format = "mitab";
    EXPECT_EQ(detect({"a\tb\tc"}, forced).layout.family, table_family::mitab);
    forced.format = "string";
    EXPECT_NE(detect({mitab_header}, forced).error, "");  // the file says otherwise
    forced.format = "biogrid";
    EXPECT_NE(detect({"a\tb"}, forced).error, "");
}

TEST(table_rows, mitab_takes_the_first_id_and_only_numeric_scores) {
    const detection found = detect({mitab_header});
    table_row row;
    const std::string human = "taxid:9606(human)";
    ASSERT_EQ(extract(found, mitab_row("uniprotkb:Q81LN0|intact:EBI-2", "uniprotkb:P1", human, human,
                                       "intact-miscore:0.56|author-based confidence:high"), row),
              row_kind::pair);
    EXPECT_EQ(row.a, "uniprotkb:Q81LN0");
    EXPECT_EQ(row.b, "uniprotkb:P1");
    EXPECT_DOUBLE_EQ(row.weight, 0.56);
    for (const std::string confidence : {"author-score:C", "dip-quality-status:core", "lpr:1|hpr:1|np:1|", "-",
                                         "intact confidence:0.53(free-text)", "score:7.5"}) {
        ASSERT_EQ(extract(found, mitab_row("a:1", "a:2", human, human, confidence), row), row_kind::pair);
        EXPECT_TRUE(std::isnan(row.weight)) << confidence;
    }
    ASSERT_EQ(extract(found, mitab_row("a:1", "a:2", human, human, "mint-score:0.4"), row), row_kind::pair);
    EXPECT_DOUBLE_EQ(row.weight, 0.4);
    EXPECT_EQ(extract(found, mitab_row("-", "a:2", human, human, "-"), row), row_kind::missing_id);
    EXPECT_EQ(extract(found, "a:1\ta:2\t-\t-", row), row_kind::too_few_columns);
    EXPECT_EQ(row.columns_found, 4u);
}

TEST(table_rows, taxon_filter_reads_every_taxid_of_a_mitab_column) {
    format_options options;
    options.taxon = "1111708";
    const detection found = detect({mitab_header}, options);
    table_row row;
    const std::string screen = "taxid:4932(yeasx)|taxid:4932(\"Saccharomyces cerevisiae\")|taxid:1111708(syny3)";
    EXPECT_EQ(extract(found, mitab_row("a:1", "a:2", screen, "taxid:1111708(syny3)", "-"), row), row_kind::pair);
    EXPECT_EQ(extract(found, mitab_row("a:1", "a:2", screen, "taxid:4932(yeasx)", "-"), row), row_kind::other_taxon);
    // A taxid that only starts with the kept one is another species.
    EXPECT_EQ(extract(found, mitab_row("a:1", "a:2", "taxid:11117080", "taxid:1111708", "-"), row),
              row_kind::other_taxon);
    EXPECT_EQ(extract(found, mitab_row("a:1", "a:2", "-", "taxid:1111708", "-"), row), row_kind::other_taxon);
}

TEST(table_rows, biogrid_skips_genetic_rows_and_other_species) {
    format_options options;
    options.taxon = "9606";
    const detection found = detect({biogrid3_header}, options);
    table_row row;
    ASSERT_EQ(extract(found, biogrid3_row("physical"), row), row_kind::pair);
    EXPECT_EQ(row.a, "6416");
    EXPECT_EQ(row.b, "2318");
    EXPECT_EQ(extract(found, biogrid3_row("genetic"), row), row_kind::genetic);
    EXPECT_EQ(extract(found, biogrid3_row("physical", "10090"), row), row_kind::other_taxon);
    options.keep_genetic = true;
    options.ids = ppi::io::id_choice::uniprot;
    const detection uniprot = detect({biogrid3_header}, options);
    ASSERT_EQ(extract(uniprot, biogrid3_row("genetic"), row), row_kind::pair);
    EXPECT_EQ(row.a, "P45985");
    EXPECT_EQ(row.b, "Q14315");
}

TEST(table_rows, string_scores_are_scaled_and_must_be_numbers) {
    format_options options;
    const detection found = detect({"protein1 protein2 combined_score"}, options);
    table_row row;
    ASSERT_EQ(extract(found, "9606.ENSP1 9606.ENSP2 900", row), row_kind::pair);
    EXPECT_DOUBLE_EQ(row.weight, 0.9);
    EXPECT_EQ(extract(found, "9606.ENSP1 9606.ENSP2 high", row), row_kind::bad_weight);
    EXPECT_EQ(row.field, "high");
    EXPECT_EQ(ppi::io::describe_row_error(found.layout, row_kind::bad_weight, row),
              "weight 'high' in column 3 (combined_score) is not a number");
    // Single spaces separate: a doubled space is an empty field, so the row is short or wrong.
    EXPECT_EQ(extract(found, "9606.ENSP1 9606.ENSP2", row), row_kind::too_few_columns);
    // An empty identifier field names no protein: the row is skipped, never an interaction.
    EXPECT_EQ(extract(found, "9606.ENSP1  900", row), row_kind::missing_id);
    EXPECT_EQ(extract(detect({"GeneA\tGeneB"}), "\tENSG2", row), row_kind::missing_id);
    options.taxon = "9606";
    const detection human = detect({"protein1 protein2 combined_score"}, options);
    EXPECT_EQ(extract(human, "9606.ENSP1 10090.ENSP2 900", row), row_kind::other_taxon);
    EXPECT_EQ(extract(human, "9606.ENSP1 9606.ENSP2 900", row), row_kind::pair);
}

TEST(table_rows, plain_rows_read_blanks_and_an_optional_weight) {
    const detection weighted = detect({"a b 0.5"});
    table_row row;
    ASSERT_EQ(extract(weighted, " \ta\t\tb  0.25 rest", row), row_kind::pair);
    EXPECT_EQ(row.a, "a");
    EXPECT_EQ(row.b, "b");
    EXPECT_DOUBLE_EQ(row.weight, 0.25);
    ASSERT_EQ(extract(weighted, "a b", row), row_kind::pair);
    EXPECT_TRUE(std::isnan(row.weight));
    ASSERT_EQ(extract(weighted, "a b NA", row), row_kind::pair);
    EXPECT_TRUE(std::isnan(row.weight));
    EXPECT_EQ(extract(weighted, "a", row), row_kind::too_few_columns);
    EXPECT_EQ(ppi::io::describe_row_error(weighted.layout, row_kind::too_few_columns, row), "expected two identifiers");
    const detection unweighted = detect({"a b c"});
    ASSERT_EQ(extract(unweighted, "a b -", row), row_kind::pair);
    EXPECT_EQ(row.a, "a");
    EXPECT_TRUE(std::isnan(row.weight));
}

TEST(table_detection, hippie_hint_csv_and_headers_in_any_case) {
    const std::string hippie = "AL1A1_HUMAN\t216\tAL1A1_HUMAN\t216\t0.76\texperiments:in vivo,Two-hybrid";
    const detection entrez = detect({hippie, "A_HUMAN\t1\tB_HUMAN\t2\t0.5\t"});
    EXPECT_EQ(entrez.layout.family, table_family::hippie);
    EXPECT_EQ(entrez.layout.column_a, 1u);
    EXPECT_EQ(entrez.layout.column_b, 3u);
    EXPECT_EQ(entrez.layout.weight_column, 4u);
    format_options options;
    options.ids = ppi::io::id_choice::uniprot;
    EXPECT_EQ(detect({hippie}, options).layout.column_b, 2u);
    options.ids = ppi::io::id_choice::biogrid;
    EXPECT_NE(detect({hippie}, options).error, "");
    // A row that only looks a little like HIPPIE's stays a plain list.
    EXPECT_EQ(detect({"AL1A1_HUMAN\t216\tAL1A1_HUMAN\t216\t7.5"}).layout.family, table_family::plain);

    const detection hint = detect({"Uniprot_A\tUniprot_B\tGene_A\tGene_B\tpmid:method:quality", "P1\tP2\tA\tB\tx"});
    EXPECT_EQ(hint.layout.family, table_family::hint);
    options.ids = ppi::io::id_choice::symbol;
    EXPECT_EQ(detect({"uniprot_a\tuniprot_b\tgene_a\tgene_b"}, options).layout.column_a, 2u);

    for (const auto& header : {"genea\tgeneb", "GENEA\tGENEB", "ensembl_gene_id_a\tensembl_gene_id_b\tx",
                               "PROTEIN1 PROTEIN2 COMBINED_SCORE"}) {
        EXPECT_EQ(detect({header, "x\ty"}).error, "") << header;
        EXPECT_NE(detect({header, "x\ty"}).layout.family, table_family::plain) << header;
    }
    // STRING as CSV, also behind a row-name column as pandas and R write it.
    const detection csv = detect({"protein1,protein2,combined_score", "9606.A,9606.B,900"});
    EXPECT_EQ(csv.layout.family, table_family::string_links);
    EXPECT_EQ(csv.layout.separator, ppi::io::separator_kind::comma);
    const detection indexed = detect({"\"\",\"protein1\",\"protein2\",\"combined_score\"", "\"1\",\"9606.A\",\"9606.B\",900"});
    EXPECT_EQ(indexed.layout.column_a, 1u);
    EXPECT_EQ(indexed.layout.weight_column, 3u);
    table_row row;
    ASSERT_EQ(extract(indexed, "\"1\",\"9606.A\",\"9606.B\",900", row), row_kind::pair);
    EXPECT_EQ(row.a, "9606.A");
    EXPECT_DOUBLE_EQ(row.weight, 0.9);
}

TEST(table_detection, comma_lists_quotes_and_a_header_of_an_unknown_csv) {
    const detection list = detect({"\"A, the first\",B,0.5", "B,C,0.25"});
    EXPECT_EQ(list.layout.family, table_family::csv);
    EXPECT_EQ(list.layout.weight_column, 2u);
    table_row row;
    ASSERT_EQ(extract(list, "\"A, the first\",\"B\"\"x\",0.5", row), row_kind::pair);
    EXPECT_EQ(row.a, "A, the first");
    EXPECT_EQ(row.b, "B\"\"x");
    EXPECT_DOUBLE_EQ(row.weight, 0.5);
    // Blanks and commas: blank-separated as it always was.
    EXPECT_EQ(detect({"a b 0,5", "b c 0,7"}).layout.family, table_family::plain);
    const detection unknown = detect({"gene_x,gene_y,score", "a,b,0.5"});
    EXPECT_NE(unknown.error.find("comma-separated"), std::string::npos) << unknown.error;
    format_options options;
    options.columns = "gene_y,gene_x";
    EXPECT_EQ(detect({"gene_x,gene_y,score", "a,b,0.5"}, options).layout.column_a, 1u);
    // Quotes are dropped everywhere but in --format plain, which reads fields as written.
    const detection quoted = detect({"\"a\" \"b\""});
    ASSERT_EQ(extract(quoted, "\"a\" \"b\"", row), row_kind::pair);
    EXPECT_EQ(row.a, "a");
    options = {};
    options.format = "plain";
    ASSERT_EQ(extract(detect({"\"a\" \"b\""}, options), "\"a\" \"b\"", row), row_kind::pair);
    EXPECT_EQ(row.a, "\"a\"");
}

TEST(table_detection, byte_order_marks_and_long_lines) {
    std::string_view marked = "\xEF\xBB\xBFprotein1";
    EXPECT_TRUE(ppi::io::strip_byte_order_mark(marked));
    EXPECT_EQ(marked, "protein1");
    EXPECT_FALSE(ppi::io::strip_byte_order_mark(marked));
    // A first line of four million fields is judged by its beginning; rows still read whole.
    std::string wide = "a\tb\t0.5";
    for (int i = 0; i < 4'000'000; ++i) wide += "\tx";
    const detection found = detect({wide});
    EXPECT_EQ(found.layout.family, table_family::plain);
    EXPECT_EQ(found.layout.weight_column, 2u);
    table_row row;
    ASSERT_EQ(extract(found, wide, row), row_kind::pair);
    EXPECT_EQ(row.b, "b");
    EXPECT_EQ(ppi::io::split_fields(wide, ppi::io::separator_kind::tab, 3).size(), 3u);
}

TEST(table_numbers, parse_whole_finite_numbers_only) {
    double value = 0;
    EXPECT_TRUE(ppi::io::parse_real("0.999", value));
    EXPECT_TRUE(ppi::io::parse_real("1e-3", value));
    for (const char* text : {"", "0.5x", "nan", "inf", " 1", "1,5"}) EXPECT_FALSE(ppi::io::parse_real(text, value)) << text;
}

}  // namespace
