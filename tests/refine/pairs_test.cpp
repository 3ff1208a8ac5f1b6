#include <gtest/gtest.h>

#include <fcntl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/blank_scan.hpp"
#include "io/block_reader.hpp"
#include "pairs/count_ppis.hpp"
#include "pairs/minimum_score.hpp"
#include "pairs/score_text.hpp"
#include "pairs/select_scored_ppis.hpp"
#include "gzip_text.hpp"
#include "temp_files.hpp"

namespace ppi {
namespace {

using test_support::read_file;
using test_support::scoped_temp_dir;
using test_support::write_file;

TEST(field_scanner, finds_the_same_fields_as_a_plain_split)
{
    std::mt19937 random(5);
    const char pieces[] = {' ', '\t', '\n', '\r', '\v', '\f', 'a', 'b', '\x01', '\xff', '%'};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 300, ' ');
        // Mostly long runs, so that fields and gaps cross the 64-byte steps in every way.
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = (i > 0 && random() % 4 != 0) ? text[i - 1] : pieces[random() % sizeof pieces];
        }
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < text.size();) {
            if (io::is_blank(text[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < text.size() && !io::is_blank(text[end])) ++end;
            expected.push_back(text.substr(i, end - i));
            i = end;
        }
        // Non-blank padding: a field touching the end must still end there.
        const std::string padded = text + std::string(io::scan_padding, 'z');
        io::field_scanner scanner(io::padded_range::within(padded, text.size()));
        std::vector<std::string> found;
        const char* start;
        const char* end;
        while (scanner.next(start, end)) found.emplace_back(start, end);
        ASSERT_EQ(found, expected) << "round " << round;
    }
}

TEST(count_ppis, counts_lines_with_or_without_a_final_newline)
{
    scoped_temp_dir dir;
    const std::pair<std::string, std::int64_t> cases[] = {
        {"", 0},
        {"\n", 1},
        {"P1 P2\nP3 P4", 2},
        {"P1 P2\nP3 P4\n", 2},
        {"\n\n\nx", 4},
        {"no newline at all", 1},
    };
    for (const auto& [contents, expected] : cases) {
        write_file("net.txt", contents);
        const count_result result = count_ppis("net.txt");
        EXPECT_EQ(result.count, expected) << '"' << contents << '"';
        EXPECT_EQ(result.error, "");
    }
}

TEST(count_ppis, counts_across_block_boundaries)
{
    scoped_temp_dir dir;
    std::string contents;
    std::int64_t lines = 0;
    while (contents.size() < 3 * io::block_size + 17) {
        contents += "protein_" + std::to_string(lines) + "\tpartner\n";
        ++lines;
    }
    contents += "unterminated";
    write_file("big.txt", contents);
    EXPECT_EQ(count_ppis("big.txt").count, lines + 1);
}

TEST(count_ppis, counts_the_decompressed_lines_of_a_gzip_file)
{
    scoped_temp_dir dir;
    std::string contents;
    for (int i = 0; i < 100000; ++i) contents.append("P").append(std::to_string(i)).append(" Q\n");
    const std::string packed = test_support::gzip_member(contents) + test_support::gzip_member("R S\nT U");
    write_file("net.txt.gz", packed);
    EXPECT_EQ(count_ppis("net.txt.gz").count, 100002);
    EXPECT_EQ(count_ppis("net.txt.gz").error, "");

    write_file("cut.gz", packed.substr(0, packed.size() / 2));
    const count_result cut = count_ppis("cut.gz");
    EXPECT_EQ(cut.count, 0);
    EXPECT_EQ(cut.error.rfind("Error: cannot read file cut.gz: truncated gzip stream", 0), 0u) << cut.error;
}

TEST(count_ppis, reports_files_it_cannot_read)
{
    scoped_temp_dir dir;
    const count_result missing = count_ppis("missing.txt");
    EXPECT_EQ(missing.count, 0);
    EXPECT_EQ(missing.error, "Error: cannot open file missing.txt for read");

    std::filesystem::create_directory("folder");
    const count_result folder = count_ppis("folder");
    EXPECT_EQ(folder.count, 0);
    EXPECT_EQ(folder.error, "Error: cannot read file folder: Is a directory");
}

TEST(count_newlines, agrees_with_a_plain_count_at_every_alignment_and_length)
{
    std::mt19937 random(7);
    std::string data(5000, 'x');
    for (char& c : data) c = (random() % 4 == 0) ? '\n' : static_cast<char>(random() % 256);
    // Long runs of newlines overflow a byte lane if the lanes are not summed in time.
    data += std::string(70000, '\n');
    for (std::size_t offset = 0; offset < 40; ++offset) {
        for (const std::size_t length : {0ul, 1ul, 15ul, 16ul, 17ul, 255ul * 16, 4097ul, data.size() - offset}) {
            const std::size_t size = std::min(length, data.size() - offset);
            EXPECT_EQ(count_newlines(data.data() + offset, size),
                      std::count(data.data() + offset, data.data() + offset + size, '\n'));
        }
    }
}

std::optional<double> parse_score(const char* text)
{
    double value = 0.0;
    if (!ppi::parse_score(text, value)) return std::nullopt;
    return value;
}

TEST(parse_score, reads_every_form_that_formatted_input_reads)
{
    const std::pair<const char*, double> cases[] = {
        {"0.75", 0.75},        {"1e-3", 1e-3},     {"2.5E+01", 25.0},     {"+0.5", 0.5},
        {".5", 0.5},           {"5.", 5.0},        {"-7", -7.0},          {"0x1.8p-1", 0.75},
        {"0X10", 16.0},        {"+0x1p1", 2.0},    {"1e-400", 0.0},       {"4e-320", 4e-320},
        {"00012", 12.0},       {"-0", -0.0},       {"1234.5678", 1234.5678}, {"12.25e-3", 0.01225},
        {"0.00000012", 1.2e-7}, {"-0.763858", -0.763858}, {"12345678.9", 12345678.9},
    };
    for (const auto& [text, expected] : cases) {
        const std::optional<double> value = parse_score(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_EQ(*value, expected) << text;
    }
    for (const char* text : {"inf", "INF", "+Infinity", "1e400"}) EXPECT_EQ(parse_score(text), HUGE_VAL) << text;
    EXPECT_EQ(parse_score("-inf"), -HUGE_VAL);
    for (const char* text : {"nan", "-NaN", "nan(123)", "+nan"}) {
        const std::optional<double> value = parse_score(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_TRUE(std::isnan(*value)) << text;
    }
}

TEST(parse_score, rejects_tokens_that_are_not_wholly_a_number)
{
    for (const char* text : {"", "abc", "0.5x", "1e", "1e+", "+", "-", ".", "0x", "0xg", "1.2.3",
                             "nan(", "infin", "--1", "1,5", "0x1p",
                             "0.12345x7", "1234.5 78"}) {
        EXPECT_FALSE(parse_score(text).has_value()) << '"' << text << '"';
    }
}

TEST(format_score, matches_printf_upper_case_exponent_form)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto check = [](double value) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.2E", value);
        char actual[max_score_text];
        const char* const end = format_score(value, actual);
        ASSERT_EQ(std::string(static_cast<const char*>(actual), end), expected) << value;
    };
    for (double value : {0.0, -0.0, 0.123456, 0.125, 0.135, 1.125, 9.995, 9.999, 1e100, -1e-300,
                         4.9e-324, 1.7976931348623157e308, HUGE_VAL, -HUGE_VAL}) {
        check(value);
    }
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isnan(value)) check(value);
        check(unit(random));
        check(std::round(unit(random) * 100000) / 100000);  // short decimals, near rounding ties
    }
    char text[max_score_text];
    EXPECT_EQ(std::string(text, format_score(std::nan(""), text)), "NAN");
    EXPECT_EQ(std::string(text, format_score(-std::nan(""), text)), "-NAN");
}

TEST(minimum_score, decides_on_digits_exactly_as_the_double_comparison)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> thresholds{0.5, 0.1, 0.3, 1.0 / 3, 1.0, 0.0, -0.0, -0.25, 1e-7, 0.999999,
                                   std::nextafter(0.5, 1.0), std::nextafter(0.1, 0.0), std::nan("")};
    for (int i = 0; i < 20; ++i) thresholds.push_back(unit(random));
    for (const double threshold : thresholds) {
        const minimum_score minimum(threshold);
        for (int scale = 0; scale <= 22; ++scale) {
            const double power = std::pow(10.0, scale);
            // Digits around the boundary threshold * 10^scale, and random ones.
            const double boundary = std::max(0.0, std::min(threshold * power, 9e15));
            std::vector<std::uint64_t> candidates{0, 1, std::uint64_t{1} << 53};
            for (std::int64_t delta = -3; delta <= 3; ++delta) {
                if (boundary + static_cast<double>(delta) >= 0) {
                    candidates.push_back(static_cast<std::uint64_t>(boundary) + static_cast<std::uint64_t>(delta));
                }
            }
            for (int i = 0; i < 20; ++i) candidates.push_back(random() % (std::uint64_t{1} << 53));
            for (const std::uint64_t digits : candidates) {
                parsed_score score;
                score.digits = digits;
                score.decimal_scale = scale;
                ASSERT_EQ(minimum.accepts(score), static_cast<double>(digits) / std::pow(10.0, scale) >= threshold)
                    << "threshold " << threshold << " digits " << digits << " scale " << scale;
            }
        }
    }
}

TEST(format_score, formats_decimal_tokens_from_their_digits_as_printf_formats_the_double)
{
    std::mt19937_64 random(13);
    auto check = [](const std::string& token) {
        parsed_score score;
        ASSERT_TRUE(parse_score(token, score)) << token;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.2E", score.value());
        char actual[max_score_text];
        const char* const end = format_score(score, actual);
        ASSERT_EQ(std::string(static_cast<const char*>(actual), end), expected) << token;
    };
    // Midpoints in the text ("0.125" is one; the double of "0.0001235" lies below it) and their
    // near neighbours, long digit strings, zero, integers, exponents.
    for (const char* token : {"0.125", "0.135", "1.125", "0.0001235", "0.1235", "0.12349999999999",
                              "0.123500000000001", "0.99951", "0.9995", "0.99949999", "999.5", "9995",
                              "0", "0.000", "7", "1000", "12345678901234567", "0.30000000000000004",
                              "1e-3", "2.5E+01", ".5", "5.", "+0.5"}) {
        check(token);
    }
    for (int i = 0; i < 100000; ++i) {
        std::string digits = std::to_string(random() % 1000000000000000000ull);
        digits.resize(1 + random() % digits.size());
        if (random() % 3 == 0) digits += "5";  // often exactly on a midpoint
        const std::size_t point = random() % (digits.size() + 1);
        std::string token = digits.substr(0, point) + "." + digits.substr(point);
        if (token == ".") token = "0";
        check(token);
    }
}

// Runs one selection pass over `scored_pairs` and returns the result; the output lands in
// out.txt of the working directory.
selection_result select_from_text(double threshold, const std::string& scored_pairs,
                                  const std::string& output_file = "out.txt")
{
    write_file("ppi.temp.txt", scored_pairs);
    return select_scored_ppis(threshold, output_file,
                              {io::open_for_read("ppi.temp.txt"), "ppi.temp.txt"});
}

struct selection_case {
    const char* name;
    double threshold;
    std::string scored_pairs;
    std::string expected_output;
    std::string expected_report;
};

TEST(select_scored_ppis, keeps_pairs_by_minimum_score_or_by_number)
{
    const std::string three = "P1 P2 0.8\nP3 P4 0.6\nP5 P6 0.3\n";
    const selection_case cases[] = {
        {"empty file, score mode", 0.5, "", "",
         "\n#PPIs with non-zero score: 0\n#PPIs selected with score>=0.50: 0\n\n"},
        {"empty file, top-N mode", 100, "", "",
         "\n#PPIs with non-zero score: 0\nMinimum score of top 0 PPIs: 0.0000\n\n"},
        {"score equal to the threshold is kept", 0.6, three,
         "P1\tP2\t8.00E-01\nP3\tP4\t6.00E-01\n",
         "\n#PPIs with non-zero score: 3\n#PPIs selected with score>=0.60: 2\n\n"},
        {"threshold 1 is a minimum score", 1, "A B 1\nC D 0.99\nE F 1.5\n",
         "A\tB\t1.00E+00\nE\tF\t1.50E+00\n",
         "\n#PPIs with non-zero score: 3\n#PPIs selected with score>=1.00: 2\n\n"},
        {"top 2 stops after two", 2, three, "P1\tP2\t8.00E-01\nP3\tP4\t6.00E-01\n",
         "\n#PPIs with non-zero score: 2\nMinimum score of top 2 PPIs: 0.6000\n\n"},
        {"top 5 of three keeps all", 5, three,
         "P1\tP2\t8.00E-01\nP3\tP4\t6.00E-01\nP5\tP6\t3.00E-01\n",
         "\n#PPIs with non-zero score: 3\nMinimum score of top 3 PPIs: 0.3000\n\n"},
        {"top 2.5 keeps three, scores not compared", 2.5, "A B 0\nC D -2\nE F 7\nG H 9\n",
         "A\tB\t0.00E+00\nC\tD\t-2.00E+00\nE\tF\t7.00E+00\n",
         "\n#PPIs with non-zero score: 3\nMinimum score of top 3 PPIs: 7.0000\n\n"},
        {"negative threshold keeps all non-negative", -0.456, three,
         "P1\tP2\t8.00E-01\nP3\tP4\t6.00E-01\nP5\tP6\t3.00E-01\n",
         "\n#PPIs with non-zero score: 3\n#PPIs selected with score>=-0.46: 3\n\n"},
        {"fields separated by any white space, last score unterminated", 0.456,
         " \r\nA\t\tB \v0.5\fC\r\nD\n\n0.123456", "A\tB\t5.00E-01\n",
         "\n#PPIs with non-zero score: 2\n#PPIs selected with score>=0.46: 1\n\n"},
    };
    for (const selection_case& c : cases) {
        scoped_temp_dir dir;
        const selection_result result = select_from_text(c.threshold, c.scored_pairs);
        EXPECT_TRUE(result.errors.empty()) << c.name;
        EXPECT_EQ(read_file("out.txt"), c.expected_output) << c.name;
        EXPECT_EQ(selection_report(c.threshold, result), c.expected_report) << c.name;
    }
}

TEST(select_scored_ppis, appends_to_an_existing_output_file)
{
    scoped_temp_dir dir;
    write_file("out.txt", "earlier\n");
    select_from_text(0.5, "A B 0.7\n");
    EXPECT_EQ(read_file("out.txt"), "earlier\nA\tB\t7.00E-01\n");
}

TEST(select_scored_ppis, skips_and_counts_malformed_triples)
{
    struct malformed_case {
        const char* scored_pairs;
        double threshold;
        std::int64_t malformed;
        std::int64_t read;
        std::string expected_output;
    };
    const malformed_case cases[] = {
        {"A B x\nC D 0.7\nE F 0.5abc\nG H nan(\n", 0.5, 3, 1, "C\tD\t7.00E-01\n"},
        {"A B 0.7\nlone", 0.5, 1, 1, "A\tB\t7.00E-01\n"},
        {"A B 0.7\nlone\n", 0.5, 1, 1, "A\tB\t7.00E-01\n"},
        {"A B 0.7\nC D", 0.5, 1, 1, "A\tB\t7.00E-01\n"},
        {"A B 0.7\nC D \n\t", 0.5, 1, 1, "A\tB\t7.00E-01\n"},
        {"A B word\nC D 0.1\nE F 0.2\n", 3, 1, 2, "C\tD\t1.00E-01\nE\tF\t2.00E-01\n"},
    };
    for (const malformed_case& c : cases) {
        scoped_temp_dir dir;
        const selection_result result = select_from_text(c.threshold, c.scored_pairs);
        EXPECT_EQ(result.malformed_count, c.malformed) << c.scored_pairs;
        EXPECT_EQ(result.read_count, c.read) << c.scored_pairs;
        EXPECT_EQ(read_file("out.txt"), c.expected_output) << c.scored_pairs;
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0], "Error: " + std::to_string(c.malformed) +
                                        " malformed scored pair(s) skipped in ppi.temp.txt");
    }
}

TEST(select_scored_ppis, top_n_stops_reading_after_the_nth_pair)
{
    scoped_temp_dir dir;
    // Whatever follows the second pair is never looked at: it would count as malformed.
    const selection_result result = select_from_text(2, "A B 0.9\nC D 0.8\nbroken triple here\nX");
    EXPECT_EQ(result.read_count, 2);
    EXPECT_EQ(result.malformed_count, 0);
    EXPECT_TRUE(result.errors.empty());
}

TEST(select_scored_ppis, keeps_fields_cut_by_block_boundaries_and_identifiers_of_any_length)
{
    scoped_temp_dir dir;
    const std::string huge(3 * io::block_size + 5, 'Q');
    std::string scored = "first " + huge + " 0.9\n";
    std::string expected = "first\t" + huge + "\t9.00E-01\n";
    for (int i = 0; scored.size() < 2 * io::block_size + 1000; ++i) {
        const std::string name = "protein" + std::to_string(i);
        scored += name + " partner " + (i % 2 ? "0.25" : "0.75") + "\n";
        if (i % 2 == 0) expected += name + "\tpartner\t7.50E-01\n";
    }
    scored += huge + "x " + huge + "y 1";
    expected += huge + "x\t" + huge + "y\t1.00E+00\n";
    const selection_result result = select_from_text(0.5, scored);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(read_file("out.txt"), expected);
}

TEST(select_scored_ppis, keeps_the_same_pairs_whether_the_kept_share_is_lopsided_or_even)
{
    scoped_temp_dir dir;
    // Long stretches where nearly all, about half, and nearly none of the pairs pass, so the
    // pass switches between its ways of appending.
    std::mt19937 random(17);
    std::string scored;
    std::string expected;
    std::int64_t kept = 0;
    const double pass_rates[] = {0.97, 0.5, 0.02, 0.5, 0.9};
    for (const double pass_rate : pass_rates) {
        for (int i = 0; i < 100000; ++i) {
            const bool pass = std::uniform_real_distribution<double>(0, 1)(random) < pass_rate;
            const int digits = static_cast<int>(random() % 500000) + (pass ? 500000 : 0);
            char line[64];
            std::snprintf(line, sizeof line, "A%d B%d 0.%06d\n", i, digits, digits);
            scored += line;
            if (pass) {
                std::snprintf(line, sizeof line, "A%d\tB%d\t%.2E\n", i, digits, digits / 1e6);
                expected += line;
                ++kept;
            }
        }
    }
    const selection_result result = select_from_text(0.5, scored);
    EXPECT_EQ(result.kept_count, kept);
    EXPECT_EQ(result.read_count, 500000);
    EXPECT_TRUE(read_file("out.txt") == expected);
}

TEST(select_scored_ppis, reports_an_output_file_it_cannot_open)
{
    scoped_temp_dir dir;
    std::filesystem::create_directory("folder");
    const selection_result result = select_from_text(0.5, "A B 0.7\n", "folder");
    EXPECT_FALSE(result.output_opened);
    EXPECT_EQ(result.read_count, 0);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], "Error: cannot open file folder for write");
}

TEST(select_scored_ppis, reports_a_failed_write)
{
    scoped_temp_dir dir;
    const selection_result result = select_from_text(0.5, "A B 0.7\n", "/dev/full");
    EXPECT_EQ(result.kept_count, 1);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], "Error: cannot write file /dev/full: No space left on device");
}

TEST(select_scored_ppis, reports_a_scored_pair_file_it_cannot_read)
{
    scoped_temp_dir dir;
    std::filesystem::create_directory("folder");
    const selection_result result =
        select_scored_ppis(0.5, "out.txt", {io::open_for_read("folder"), "folder"});
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], "Error: cannot read file folder: Is a directory");
}

}  // namespace
}  // namespace ppi
