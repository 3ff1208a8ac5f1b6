// The one number grammar of command lines, the Python package and table columns.
#include "io/format_options.hpp"
#include "io/strict_number.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(strict_number, integers_take_one_optional_sign_and_nothing_else) {
    long long value = 0;
    for (const auto& [text, expected] : {std::pair{"2", 2LL}, {"+2", 2LL}, {"-2", -2LL}, {"007", 7LL}, {"-0", 0LL},
                                         {"9223372036854775807", std::numeric_limits<long long>::max()},
                                         {"-9223372036854775808", std::numeric_limits<long long>::min()}}) {
        ASSERT_TRUE(ppi::io::parse_integer(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"", "+", "-", "+-5", "-+5", "++5", "--5", " 5", "5 ", "5\n", "1.5", "1e3", "0x10", "5a",
                             "9223372036854775808", "-9223372036854775809", "99999999999999999999"}) {
        EXPECT_FALSE(ppi::io::parse_integer(text, value)) << text;
    }
}

TEST(strict_number, reals_are_finite_decimal_numbers_with_one_optional_sign) {
    double value = 0;
    for (const auto& [text, expected] : {std::pair{"0.999", 0.999}, {"1e-3", 1e-3}, {"+0.5", 0.5}, {"-.5", -0.5},
                                         {"700", 700.0}, {"+700", 700.0}, {"-700", -700.0}, {"2E+4", 2e4},
                                         {"123456789012345678", 123456789012345678.0}}) {
        ASSERT_TRUE(ppi::io::parse_real(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    ASSERT_TRUE(ppi::io::parse_real("-0", value));
    EXPECT_TRUE(std::signbit(value));
    for (const char* text : {"", "+", "-", "+-1", "-+1", "nan", "-nan", "inf", "+inf", "infinity", "1e400", " 1",
                             "1 ", "1,5", "0.5x", "0x1p3", "."}) {
        EXPECT_FALSE(ppi::io::parse_real(text, value)) << text;
    }
}

TEST(strict_number, counts_are_whole_numbers_within_their_bounds) {
    std::uint64_t value = 0;
    EXPECT_TRUE(ppi::io::parse_count("+2", 1, 1024, value));
    EXPECT_EQ(value, 2u);
    EXPECT_TRUE(ppi::io::parse_count("1024", 1, 1024, value));
    EXPECT_TRUE(ppi::io::parse_count("-0", 0, 5, value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(ppi::io::parse_count("18446744073709551615", 0, ~std::uint64_t{0}, value));
    EXPECT_EQ(value, ~std::uint64_t{0});
    for (const char* text : {"0", "1025", "-1", "-0", "1.0", "", "+", "18446744073709551616"}) {
        EXPECT_FALSE(ppi::io::parse_count(text, 1, 1024, value)) << text;
    }
}

TEST(format_options_check, every_refused_option_is_named_with_its_value) {
    ppi::io::format_request request;
    request.format = "stringdb";
    request.columns = "1";
    request.taxon = "abc";
    request.ids = "gene";
    request.min_weight = std::numeric_limits<double>::infinity();
    ppi::io::format_options options;
    const auto errors = ppi::io::check_format_options(request, options);
    ASSERT_EQ(errors.size(), 5u);
    EXPECT_EQ(errors[0].command_line_text().rfind("--format 'stringdb' is not one of plain, string,", 0), 0u);
    EXPECT_EQ(errors[1].command_line_text(),
              "--columns '1' is not A,B or A,B,W (column numbers from 1 or header names)");
    EXPECT_EQ(errors[2].command_line_text(), "--taxon 'abc' is not an NCBI taxon id (digits)");
    EXPECT_EQ(errors[3].option, "ids");
    EXPECT_EQ(errors[3].value, "gene");
    EXPECT_EQ(errors[4].option, "min-weight");
    EXPECT_TRUE(options.format.empty() && options.columns.empty() && options.taxon.empty());
}

TEST(format_options_check, usable_options_are_taken_and_empty_values_refused) {
    ppi::io::format_request request;
    request.format = "biogrid";
    request.columns = "1,2,Score";
    request.taxon = "9606";
    request.ids = "swissprot";
    request.genetic = true;
    request.min_weight = 0.7;
    ppi::io::format_options options;
    EXPECT_TRUE(ppi::io::check_format_options(request, options).empty());
    EXPECT_EQ(options.format, "biogrid");
    EXPECT_EQ(options.columns, "1,2,Score");
    EXPECT_EQ(options.taxon, "9606");
    EXPECT_EQ(options.ids, ppi::io::id_choice::uniprot);
    EXPECT_TRUE(options.keep_genetic);
    EXPECT_EQ(options.min_weight, 0.7);

    // Given but empty is not "not given": an empty --format or --taxon is a mistake.
    ppi::io::format_request empty;
    empty.format = "";
    empty.taxon = "";
    empty.columns = "1,,2";
    ppi::io::format_options unchanged;
    EXPECT_EQ(ppi::io::check_format_options(empty, unchanged).size(), 3u);
    EXPECT_TRUE(std::isnan(unchanged.min_weight));
}

TEST(format_options_check, command_line_words_are_noted_by_name) {
    ppi::io::format_request request;
    std::vector<std::string> errors;
    EXPECT_TRUE(ppi::io::note_format_option("--taxon", "9606", request, errors));
    EXPECT_TRUE(ppi::io::note_format_option("--min-weight", "+0.4", request, errors));
    EXPECT_FALSE(ppi::io::note_format_option("--threads", "2", request, errors));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(request.taxon, "9606");
    EXPECT_EQ(request.min_weight, 0.4);
    EXPECT_TRUE(ppi::io::note_format_option("--min-weight", "nan", request, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "--min-weight 'nan' is not a number");
}

}  // namespace
