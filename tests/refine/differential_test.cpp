#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "oracle/formatted_input_selection.hpp"
#include "io/block_reader.hpp"
#include "pairs/select_scored_ppis.hpp"
#include "temp_files.hpp"

namespace ppi {
namespace {

using test_support::read_file;
using test_support::scoped_temp_dir;
using test_support::write_file;

class scored_pair_generator {
public:
    explicit scored_pair_generator(unsigned seed) : random_(seed) {}

    std::string file(int triples)
    {
        std::string text = pick(4) == 0 ? blanks() : "";
        for (int i = 0; i < triples; ++i) {
            text += identifier() + blanks() + identifier() + blanks() + score();
            if (i + 1 < triples) text += pick(3) == 0 ? blanks() : "\n";
        }
        // The last score may end the file with or without white space after it.
        if (pick(2) == 0) text += blanks();
        return text;
    }

    double threshold(int triples)
    {
        const double choices[] = {0.5, 0.0, -1.0, 1.0, 0.456, 0.005, uniform(-0.2, 1.0),
                                  1.5, 2.0, static_cast<double>(triples),
                                  static_cast<double>(triples + 1), uniform(1.0, triples + 5.0), 1e9};
        return choices[pick(std::size(choices))];
    }

private:
    std::size_t pick(std::size_t count) { return random_() % count; }
    double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }

    std::string blanks()
    {
        static const char white[] = {' ', '\t', '\n', '\r', '\v', '\f'};
        std::string text(1 + pick(3), ' ');
        for (char& c : text) c = white[pick(sizeof white)];
        return text;
    }

    std::string identifier()
    {
        // Printable characters, format characters among them, and bytes beyond ASCII.
        static const std::string alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.:|%\\\"'\x80\xc3\xa9\xff";
        std::string text(1 + pick(30), 'x');
        for (char& c : text) c = alphabet[pick(alphabet.size())];
        return text;
    }

    std::string score()
    {
        const double value = pick(10) == 0 ? uniform(-5.0, 5.0) : uniform(0.0, 1.0);
        char text[64];
        switch (pick(16)) {
        case 0: std::snprintf(text, sizeof text, "%g", value); break;
        case 1: std::snprintf(text, sizeof text, "%.17g", value); break;
        case 2: std::snprintf(text, sizeof text, "%e", value); break;
        case 3: std::snprintf(text, sizeof text, "%E", value * 1e-30); break;
        case 4: std::snprintf(text, sizeof text, "%a", value); break;
        case 5: std::snprintf(text, sizeof text, "+%.3f", std::fabs(value)); break;
        case 6: std::snprintf(text, sizeof text, ".%u", static_cast<unsigned>(pick(100000))); break;
        case 7: std::snprintf(text, sizeof text, "%u.", static_cast<unsigned>(pick(3))); break;
        case 8: {
            static const char* special[] = {"inf", "-INF", "Infinity", "+inf", "nan", "NAN", "-nan",
                                            "1e-400", "-1e400", "4e-320", "0X1P-2", "-0.0", "0",
                                            "1", "0.125", "0.135", "9.995e-1", "0x.8"};
            return special[pick(std::size(special))];
        }
        default: std::snprintf(text, sizeof text, "%.6f", value); break;
        }
        return text;
    }

    std::mt19937 random_;
};

std::string oracle_run(double threshold, std::string& output)
{
    char* console_text = nullptr;
    std::size_t console_size = 0;
    std::FILE* console = open_memstream(&console_text, &console_size);
    oracle::select_scored_ppis(threshold, "oracle_out.txt", std::fopen("ppi.temp.txt", "r"), console);
    std::fclose(console);
    std::string report(console_text, console_size);
    std::free(console_text);
    output = read_file("oracle_out.txt");
    return report;
}

// Runs ours and the oracle over `scored_pairs` and expects the same output file and report.
void expect_same_as_oracle(const std::string& scored_pairs, double threshold)
{
    write_file("ppi.temp.txt", scored_pairs);
    std::filesystem::remove("oracle_out.txt");
    std::filesystem::remove("out.txt");

    std::string expected_output;
    const std::string expected_report = oracle_run(threshold, expected_output);
    const selection_result result =
        select_scored_ppis(threshold, "out.txt", {io::open_for_read("ppi.temp.txt"), "ppi.temp.txt"});

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(selection_report(threshold, result), expected_report);
    ASSERT_TRUE(read_file("out.txt") == expected_output);
}

TEST(select_scored_ppis, matches_the_formatted_input_oracle_on_random_well_formed_files)
{
    scoped_temp_dir dir;
    scored_pair_generator generate(2024);
    for (int round = 0; round < 400; ++round) {
        const int triples = round % 10 == 0 ? 0 : 1 + round % 60;
        const std::string scored_pairs = generate.file(triples);
        const double threshold = generate.threshold(triples);
        SCOPED_TRACE("round " + std::to_string(round) + ", threshold " + std::to_string(threshold) +
                     ", file:\n" + scored_pairs);
        expect_same_as_oracle(scored_pairs, threshold);
    }
}

TEST(select_scored_ppis, matches_the_formatted_input_oracle_across_many_blocks)
{
    scoped_temp_dir dir;
    scored_pair_generator generate(99);
    // About 7 MB: fields and white space of every kind fall on the boundaries of the reads.
    const std::string scored_pairs = generate.file(150000);
    for (const double threshold : {0.5, 0.0, 100000.5}) {
        SCOPED_TRACE("threshold " + std::to_string(threshold));
        expect_same_as_oracle(scored_pairs, threshold);
    }
}

}  // namespace
}  // namespace ppi
