// vornel's network and pair-list readers on any bytes: no crash and no sanitizer report, and
// every count agrees with a plain reference parser. The first input byte says where the
// network ends and the pair list begins.
#include "fuzz_support.hpp"

#include "scorer/graph/network.hpp"

#include "io/table_format.hpp"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using name_pair = std::pair<std::string, std::string>;

const std::string network_name = fuzz_support::scratch_file("net.txt");
const std::string pairs_name = fuzz_support::scratch_file("pairs.txt");

// The plain edge list, named: format detection has a target of its own.
const ppi::io::format_options plain = [] {
    ppi::io::format_options options;
    options.format = "plain";
    return options;
}();

// Text the reader refuses as a whole: binary (a NUL byte) or a gzip stream (its magic bytes).
bool is_refused(std::string_view text) {
    return text.find('\0') != std::string_view::npos || text.starts_with("\x1f\x8b");
}

// A plain pair file as the reader reads it: a UTF-8 byte-order mark at its start is dropped;
// lines end at "\n", "\r\n" or a lone "\r"; blank lines and lines starting with '#' after
// blanks are skipped; fields are separated by the blanks space, tab, vertical tab and form feed.
struct parsed_file {
    std::vector<name_pair> pairs;
    std::uint64_t bad_line = 0;  // first data line with fewer than two fields, from 1; 0: none
};

parsed_file parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));

    parsed_file parsed;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::vector<std::string> fields;
        std::string field;
        for (const char c : lines[n]) {
            if (!blank(c)) {
                field += c;
            } else if (!field.empty()) {
                fields.push_back(std::move(field));
                field.clear();
            }
        }
        if (!field.empty()) fields.push_back(std::move(field));
        if (fields.empty() || fields[0][0] == '#') continue;
        if (fields.size() < 2) {
            parsed.bad_line = n + 1;
            return parsed;
        }
        parsed.pairs.emplace_back(fields[0], fields[1]);
    }
    return parsed;
}

name_pair unordered(const name_pair& p) { return p.first < p.second ? p : name_pair{p.second, p.first}; }

void expect_equal(const char* what, std::uint64_t ours, std::uint64_t expected) {
    if (ours != expected) fuzz_support::disagree(what, std::to_string(ours), std::to_string(expected));
}

void check_network(const vornel::network_result& read, const parsed_file& parsed) {
    if (parsed.bad_line != 0) {
        const std::string expected = network_name + ":" + std::to_string(parsed.bad_line) + ": expected two identifiers";
        if (read.error != expected) fuzz_support::disagree("network error", read.error, expected);
        return;
    }
    if (!read.error.empty()) fuzz_support::disagree("network error", read.error, "");
    std::set<std::string> proteins;
    std::set<name_pair> interactions;
    std::uint64_t self_pairs = 0;
    for (const auto& p : parsed.pairs) {
        if (p.first == p.second) {
            ++self_pairs;
            continue;
        }
        proteins.insert(p.first);
        proteins.insert(p.second);
        interactions.insert(unordered(p));
    }
    expect_equal("proteins", read.net.protein_count(), proteins.size());
    expect_equal("interactions", read.net.interaction_count(), interactions.size());
    expect_equal("self-pairs", read.counts.self_pairs, self_pairs);
    expect_equal("repeated pairs", read.counts.repeated_pairs, parsed.pairs.size() - self_pairs - interactions.size());
    std::uint32_t id = 0;
    for (const std::string& name : proteins) {  // ids in byte order of the identifiers
        if (read.net.name(id) != name) fuzz_support::disagree("protein name", std::string(read.net.name(id)), name);
        ++id;
    }
}

void check_listed(const vornel::listed_result& listed, const vornel::network& net, const parsed_file& parsed) {
    if (parsed.bad_line != 0) {
        const std::string expected = pairs_name + ":" + std::to_string(parsed.bad_line) + ": expected two identifiers";
        if (listed.error != expected) fuzz_support::disagree("pair list error", listed.error, expected);
        return;
    }
    std::vector<name_pair> first_seen;
    std::set<name_pair> seen;
    std::uint64_t self_pairs = 0;
    std::uint64_t unknown = 0;
    std::uint64_t repeated = 0;
    for (const auto& p : parsed.pairs) {
        if (p.first == p.second) {
            ++self_pairs;
        } else if (!net.find(p.first) || !net.find(p.second)) {
            ++unknown;
        } else if (!seen.insert(unordered(p)).second) {
            ++repeated;
        } else {
            first_seen.push_back(p);
        }
    }
    expect_equal("listed self-pairs", listed.counts.self_pairs, self_pairs);
    expect_equal("listed unknown pairs", listed.counts.unknown_pairs, unknown);
    expect_equal("listed repeated pairs", listed.counts.repeated_pairs, repeated);
    expect_equal("listed pairs", listed.listed.pairs.size(), first_seen.size());
    for (std::size_t i = 0; i < first_seen.size(); ++i) {
        const auto& got = listed.listed.pairs[i];
        const name_pair ours{std::string(net.name(got.first)), std::string(net.name(got.second))};
        if (ours != first_seen[i]) {
            fuzz_support::disagree("listed pair", ours.first + " " + ours.second,
                                   first_seen[i].first + " " + first_seen[i].second);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t split = std::min<std::size_t>(size - 1, (size - 1) * data[0] / 255);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view network_text = text.substr(0, split);
    const std::string_view pairs_text = text.substr(split);
    fuzz_support::write_whole_file(network_name, network_text);
    fuzz_support::write_whole_file(pairs_name, pairs_text);

    vornel::network_result read = vornel::read_network(network_name, plain);
    if (is_refused(network_text)) {
        if (read.error.empty()) fuzz_support::disagree("network error", "", "binary or gzip input refused");
        return 0;
    }
    check_network(read, parse(network_text));
    if (!read.error.empty()) return 0;
    const vornel::listed_result listed = vornel::read_listed_pairs(pairs_name, read.net, plain);
    if (is_refused(pairs_text)) {
        if (listed.error.empty()) fuzz_support::disagree("pair list error", "", "binary or gzip input refused");
    } else {
        check_listed(listed, read.net, parse(pairs_text));
    }

    // The network as its own pair list, without reading it again, lists what reading gives.
    const vornel::listed_result again = vornel::read_listed_pairs(network_name, read.net, plain);
    const vornel::listed_result own = vornel::listed_pairs_of_network(read);
    expect_equal("own pairs", own.listed.pairs.size(), again.listed.pairs.size());
    for (std::size_t i = 0; i < own.listed.pairs.size(); ++i) {
        if (own.listed.pairs[i].first != again.listed.pairs[i].first ||
            own.listed.pairs[i].second != again.listed.pairs[i].second) {
            fuzz_support::disagree("own pair " + std::to_string(i), "", "");
        }
    }
    return 0;
}
