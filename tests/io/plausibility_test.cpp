// The check of what was read: the census rules on column contents built here, independent of
// any file.
#include "io/plausibility.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using ppi::io::column_census;
using ppi::io::identifier_sides;

// The census of identifier pairs, as the network reader takes it.
column_census census_of(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::map<std::string, std::uint8_t> sides;
    ppi::io::row_counter_check counter_a, counter_b{true};
    column_census census;
    for (const auto& [a, b] : pairs) {
        identifier_sides::note(sides[a], identifier_sides::side_a);
        identifier_sides::note(sides[b], identifier_sides::side_b);
        counter_a.note(a);
        counter_b.note(b);
        ++census.rows;
    }
    for (const auto& [name, side] : sides) census.add_identifier(name, side);
    census.a_counts_rows = counter_a.counts_rows();
    census.b_steps_by_one = counter_b.counts_rows();
    return census;
}

std::string verdict(const std::vector<std::pair<std::string, std::string>>& pairs) {
    return ppi::io::implausible_columns(census_of(pairs), ppi::io::table_layout{}, "x y", 1);
}

std::string protein(int i) {
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'P');
    return name;
}

// Pairs (i, i + step) of n proteins on a ring: every protein in both columns.
std::vector<std::pair<std::string, std::string>> ring(int n, int step) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < n; ++i) pairs.push_back({protein(i), protein((i + step) % n)});
    return pairs;
}

TEST(plausibility, real_shapes_pass_stars_matchings_chains_and_sorted_lists) {
    EXPECT_EQ(verdict(ring(200, 7)), "");
    std::vector<std::pair<std::string, std::string>> star, matching, chain, sorted;
    for (int i = 1; i < 100; ++i) star.push_back({"HUB", protein(i)});
    for (int i = 0; i < 100; ++i) matching.push_back({protein(2 * i), protein(2 * i + 1)});
    for (int i = 1; i < 100; ++i) chain.push_back({std::to_string(i), std::to_string(i + 1)});
    for (const auto& [a, b] : ring(200, 7)) sorted.push_back(a < b ? std::make_pair(a, b) : std::make_pair(b, a));
    EXPECT_EQ(verdict(star), "");
    EXPECT_EQ(verdict(matching), "");  // every protein once: no chance to be on both sides
    EXPECT_EQ(verdict(chain), "");     // both columns count: a chain of numbered proteins
    EXPECT_EQ(verdict(sorted), "");
}

TEST(plausibility, columns_of_two_vocabularies_numbers_beside_names_and_row_counters_fail) {
    std::vector<std::pair<std::string, std::string>> entrez_beside_name, rows, few;
    for (int i = 0; i < 200; ++i) {
        for (const int step : {7, 13}) entrez_beside_name.push_back({protein(i) + "_HUMAN", std::to_string(1000 + (i + step) % 200)});
    }
    const std::string disjoint = verdict(entrez_beside_name);
    EXPECT_NE(disjoint.find("share 0, where the same proteins listed in both would share about"), std::string::npos)
        << disjoint;
    EXPECT_NE(disjoint.find("first row (line 1): \"x y\""), std::string::npos) << disjoint;
    // Rows numbered 1, 2, 3, ... beside proteins that are numbers too (Entrez ids).
    int row = 0;
    for (const auto& [a, b] : ring(200, 7)) rows.push_back({std::to_string(++row), b.substr(1)});
    EXPECT_NE(verdict(rows).find("column 1 counts the rows"), std::string::npos) << verdict(rows);
    // Six whole numbers beside six names: too few to share by chance, but numbers beside none.
    for (int i = 0; i < 6; ++i) few.push_back({std::to_string(100 + i), "GENE" + std::to_string(i)});
    EXPECT_NE(verdict(few).find("holds only whole numbers and column 2 none"), std::string::npos) << verdict(few);
    few.pop_back();
    few.pop_back();
    EXPECT_EQ(verdict(few), "");  // four of each: too few to judge
}

TEST(plausibility, appearances_saturate_and_a_counter_must_start_at_zero_or_one) {
    std::uint8_t sides = 0;
    for (int i = 0; i < 100; ++i) identifier_sides::note(sides, identifier_sides::side_a);
    EXPECT_EQ(identifier_sides::appearances(sides), 63u);
    EXPECT_EQ(sides & identifier_sides::side_b, 0);
    ppi::io::row_counter_check from_two, from_zero;
    for (const char* value : {"2", "3", "4"}) from_two.note(value);
    for (const char* value : {"0", "1", "2"}) from_zero.note(value);
    EXPECT_FALSE(from_two.counts_rows());
    EXPECT_TRUE(from_zero.counts_rows());
    from_zero.note("4");
    EXPECT_FALSE(from_zero.counts_rows());
}

}  // namespace
