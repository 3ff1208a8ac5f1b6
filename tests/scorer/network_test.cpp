// Reading network and pair files: comments, self-pairs, repeats, ids.
#include "test_support.hpp"

#include "scorer/big_vector.hpp"
#include "scorer/identifier_table.hpp"
#include "scorer/network.hpp"

#include <gtest/gtest.h>

namespace {

using test_support::pair_list;
using test_support::scoped_temp_dir;
using test_support::write_file;

std::vector<std::string> neighbours(const vornel::network& net, std::string_view name) {
    std::vector<std::string> out;
    for (auto v : net.partners(*net.find(name))) out.emplace_back(net.name(v));
    return out;
}

TEST(identifier_table, numbers_identifiers_in_first_seen_order_across_growth) {
    // Names of every length around the 8-byte hashing steps, sharing long prefixes, and enough
    // of them to grow the table several times.
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back(std::string(std::size_t(i % 19), 'p') + std::to_string(i));
    names.push_back(std::string("a\0b", 3));
    names.push_back("a");
    vornel::identifier_table table;
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(table.intern(names[i]), i);
    for (std::size_t i = 0; i < names.size(); i += 7) EXPECT_EQ(table.intern(names[i]), i);
    ASSERT_EQ(table.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(table.name(std::uint32_t(i)), names[i]);
        EXPECT_EQ(table.find(names[i]), i);
    }
    EXPECT_FALSE(table.find("p5000"));
    EXPECT_FALSE(table.find(std::string_view("a\0", 2)));
}

TEST(big_vector, keeps_its_contents_when_growing_from_the_heap_into_mappings_and_back) {
    vornel::big_vector<std::uint32_t> values;
    const std::uint32_t count = 3u << 20;  // 12 MiB: several reallocations past the 2 MiB mark
    for (std::uint32_t i = 0; i < count; ++i) values.push_back(i * 2654435761u);
    bool intact = true;
    for (std::uint32_t i = 0; i < count; ++i) intact = intact && values[i] == i * 2654435761u;
    EXPECT_TRUE(intact);
    values.resize(10);
    values.shrink_to_fit();  // back to the heap
    EXPECT_EQ(values[9], 9u * 2654435761u);
    auto copy = values;
    EXPECT_EQ(copy, values);
}

TEST(read_network, skips_comments_and_blank_lines_and_merges_repeats_in_either_orientation) {
    scoped_temp_dir dir;
    write_file("net.txt", "# header\r\nB A\tscore 1\r\n\r\n   \nA B\nC\tA\rA A\nD D\nB   C\n#A C\nA C");
    const auto read = vornel::read_network("net.txt");
    ASSERT_EQ(read.error, "");
    const auto& net = read.net;
    EXPECT_EQ(net.protein_count(), 3u);  // D only appears in a self-pair
    EXPECT_EQ(net.interaction_count(), 3u);
    EXPECT_EQ(read.counts.self_pairs, 2u);
    EXPECT_EQ(read.counts.repeated_pairs, 2u);
    EXPECT_EQ(neighbours(net, "A"), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(neighbours(net, "C"), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(net.find("D"));
}

TEST(read_network, numbers_proteins_in_byte_order_of_identifiers) {
    const auto net = vornel::build_network(pair_list{{"b", "B"}, {"a10", "a9"}, {"\xc3\xa9", "b"}, {"a9", "b"}}).net;
    std::vector<std::string> names;
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        names.emplace_back(net.name(u));
        EXPECT_EQ(net.find(net.name(u)), u);
        const auto row = net.partners(u);
        EXPECT_TRUE(std::is_sorted(row.begin(), row.end()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a10", "a9", "b", "\xc3\xa9"}));
    EXPECT_FALSE(net.find("a"));
    EXPECT_FALSE(net.find("zz"));
}

// Ctrl-C in Python sets the flag from another thread: a long read stops, and says so.
TEST(read_network, stops_a_long_read_when_the_stop_flag_is_set) {
    scoped_temp_dir dir;
    std::string lines;
    for (int i = 0; i < 70000; ++i) {
        lines.append(1, 'P').append(std::to_string(i)).append("\tP").append(std::to_string(i + 1)).append(1, '\n');
    }
    write_file("long.txt", lines);
    std::atomic<bool> cancel{true};
    EXPECT_EQ(vornel::read_network("long.txt", {}, false, &cancel).error, "long.txt: reading stopped");
    cancel = false;
    EXPECT_EQ(vornel::read_network("long.txt", {}, false, &cancel).net.interaction_count(), 70000u);
}

TEST(read_network, names_the_file_and_line_of_a_line_with_one_identifier) {
    scoped_temp_dir dir;
    write_file("net.txt", "A B\n\nlonely\n");
    EXPECT_EQ(vornel::read_network("net.txt").error, "net.txt:3: expected two identifiers");
    EXPECT_NE(vornel::read_network("absent.txt").error.find("absent.txt"), std::string::npos);
}

TEST(listed_pairs, keep_first_orientation_and_count_what_was_dropped) {
    const auto net = vornel::build_network(pair_list{{"A", "B"}, {"B", "C"}}).net;
    const auto result = vornel::resolve_listed_pairs(
        pair_list{{"C", "A"}, {"B", "A"}, {"A", "C"}, {"A", "A"}, {"A", "X"}, {"B", "A"}, {"C", "B"}}, net);
    const auto& listed = result.listed;
    std::vector<std::string> kept;
    for (const auto& p : listed.pairs) kept.push_back(std::string(net.name(p.first)) + std::string(net.name(p.second)));
    EXPECT_EQ(kept, (std::vector<std::string>{"CA", "BA", "CB"}));
    EXPECT_EQ(result.counts.repeated_pairs, 2u);
    EXPECT_EQ(result.counts.self_pairs, 1u);
    EXPECT_EQ(result.counts.unknown_pairs, 1u);
    // Row A holds C-A and B-A, row B holds C-B; entries point back to the listing order.
    const auto by_row = vornel::group_by_smaller_id(listed.pairs, net.protein_count());
    EXPECT_EQ(by_row.rows, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(by_row.starts, (std::vector<std::uint64_t>{0, 2, 3, 3}));
    EXPECT_EQ(by_row.entries[0].index, 0u);
    EXPECT_EQ(by_row.entries[2].partner, 2u);
}

TEST(listed_pairs, of_the_network_itself_match_reading_the_file_again) {
    scoped_temp_dir dir;
    write_file("net.txt", "B A\nA C\nC C\nA B\nD B\nC A\nB C\n");
    auto read = vornel::read_network("net.txt");
    const auto from_file = vornel::read_listed_pairs("net.txt", read.net);
    const auto reused = vornel::listed_pairs_of_network(read);
    ASSERT_EQ(reused.listed.pairs.size(), from_file.listed.pairs.size());
    for (std::size_t i = 0; i < reused.listed.pairs.size(); ++i) {
        EXPECT_EQ(reused.listed.pairs[i].first, from_file.listed.pairs[i].first);
        EXPECT_EQ(reused.listed.pairs[i].second, from_file.listed.pairs[i].second);
    }
    EXPECT_EQ(reused.listed.pairs.size(), 4u);  // B-A, A-C, D-B, B-C
    EXPECT_EQ(reused.counts.self_pairs, from_file.counts.self_pairs);
    EXPECT_EQ(reused.counts.repeated_pairs, from_file.counts.repeated_pairs);
}

}  // namespace
