#include "scorer/output/network_writer.hpp"

#include <algorithm>
#include <charconv>
#include <string>

namespace vornel {

namespace {

// The weight of the interaction u-v, found in the row of u.
double weight_of(const network& net, std::uint32_t u, std::uint32_t v) {
    const auto row = net.partners(u);
    const auto slot = std::lower_bound(row.begin(), row.end(), v) - row.begin();
    return net.weights[net.row_starts[u] + static_cast<std::uint64_t>(slot)];
}

}  // namespace

bool write_network_list(const network& net, const listed_pairs& pairs, output_file& out) {
    constexpr std::size_t flush_at = std::size_t{1} << 20;
    std::string text;
    text.reserve(flush_at + 256);
    for (const auto& [u, v] : pairs.pairs) {
        text += net.name(u);
        text += '\t';
        text += net.name(v);
        if (net.weighted()) {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, weight_of(net, u, v)).ptr;
            text += '\t';
            text.append(digits, end);
        }
        text += '\n';
        if (text.size() >= flush_at) {
            if (!out.write(text.data(), text.size())) return false;
            text.clear();
        }
    }
    return out.write(text.data(), text.size());
}

}  // namespace vornel
