#pragma once

#include "io/table_format.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Whether the two identifier columns of a table read as a network hold what an interaction list
// holds. In a real list the same proteins turn up in both columns; a table read by the wrong
// columns pairs a protein name with a row number, an interaction id or an Entrez id, and its
// two columns share (almost) nothing. The read is then refused instead of scored.
namespace ppi::io {

// One identifier's appearances: bits 0 and 1 say in which column (A, B) it was met, the upper
// six bits count its appearances up to 63 (enough: an identifier met 10 times counts as sure
// to be on both sides by chance).
class identifier_sides {
public:
    static constexpr std::uint8_t side_a = 1, side_b = 2;

    static void note(std::uint8_t& sides, std::uint8_t side) {
        if (sides < 0xfc) sides = static_cast<std::uint8_t>(sides + 4);
        sides |= side;
    }
    static unsigned appearances(std::uint8_t sides) { return sides >> 2; }
};

// What the two identifier columns held.
struct column_census {
    std::uint64_t rows = 0;    // interactions read (self-pairs left out)
    std::uint64_t ids_a = 0;   // distinct identifiers in column A
    std::uint64_t ids_b = 0;
    std::uint64_t shared = 0;  // distinct identifiers in both
    // Identifiers that columns of the same proteins would share by chance: the sum over all
    // identifiers of 1 - 2^(1 - appearances), the chance that an identifier listed that often
    // in rows of random orientation is in both columns.
    double expected_shared = 0;
    // Distinct identifiers of column A (B) that are whole numbers, counted until the rule on
    // them is decided (see add_identifier).
    std::uint64_t integers_a = 0;
    std::uint64_t integers_b = 0;
    bool a_counts_rows = false;   // column A reads 0 or 1, then one more on every row
    bool b_steps_by_one = false;  // column B reads one more on every row, from any start

    // Adds an identifier, given its sides byte. Whole numbers are looked for only until the
    // rule on them is decided (numbers met in both columns, or other identifiers in both): a
    // real list decides within its first identifiers.
    void add_identifier(std::string_view name, std::uint8_t sides) {
        const bool in_a = sides & identifier_sides::side_a, in_b = sides & identifier_sides::side_b;
        const bool decided = numbers_decided();
        ids_a += in_a;
        ids_b += in_b;
        shared += in_a && in_b;
        expected_shared += chance_on_both_sides[identifier_sides::appearances(sides)];
        if (!decided) note_number(name, in_a, in_b);
    }

    bool numbers_decided() const {
        return (integers_a > 0 && integers_b > 0) || (ids_a > integers_a && ids_b > integers_b);
    }

private:
    void note_number(std::string_view name, bool in_a, bool in_b);

    // 1 - 2^(1 - n) by appearances n (0 to 63).
    static constexpr std::array<double, 64> chance_on_both_sides = [] {
        std::array<double, 64> chances{};
        for (int n = 1; n < 64; ++n) chances[n] = 1 - 2.0 / static_cast<double>(std::uint64_t{1} << n);
        return chances;
    }();
};

// Follows whether a column holds a row counter (1, 2, 3, ... or 0, 1, 2, ...; from any start
// with `any_start`).
class row_counter_check {
public:
    explicit row_counter_check(bool any_start = false) : any_start_(any_start) {}
    // Inline: after the first rows of a real list it is one test per row.
    void note(std::string_view field) {
        if (alive_) note_value(field);
    }
    bool counts_rows() const { return alive_ && started_ && rows_ > 1; }
    bool alive() const { return alive_; }

private:
    void note_value(std::string_view field);

    std::uint64_t next_ = 0;
    std::uint64_t rows_ = 0;
    bool any_start_;
    bool started_ = false;
    bool alive_ = true;
};

// The error text (without the file name) when the census shows columns that cannot be an
// interaction list, or "" when they can. `first_row` is shown as the sample row.
std::string implausible_columns(const column_census& census, const table_layout& layout, std::string_view first_row,
                                std::uint64_t first_row_number);

// Reads the first rows of `path` again and names the two columns that share the most values
// (as "--columns 1,3" with what they share), for the error; "" when no pair shares any or the
// file cannot be read again (a pipe).
std::string suggest_identifier_columns(const std::string& path, const table_layout& layout);

}  // namespace ppi::io
