#include "scorer/graph/readable_names.hpp"

#include "io/line_reader.hpp"
#include "io/table_format.hpp"

namespace vornel {

namespace {

// The separator of one map line: a tab when it holds one, else commas when it holds them and
// no blank, else blanks.
ppi::io::separator_kind map_separator(std::string_view line) {
    if (line.find('\t') != std::string_view::npos) return ppi::io::separator_kind::tab;
    const bool blank = line.find_first_of(" \v\f") != std::string_view::npos;
    if (!blank && line.find(',') != std::string_view::npos) return ppi::io::separator_kind::comma;
    return ppi::io::separator_kind::blanks;
}

}  // namespace

readable_names read_readable_names(const std::string& path, const network& net) {
    readable_names names;
    std::vector<bool> named(net.protein_count(), false);
    names.by_protein.resize(net.protein_count());
    ppi::io::line_reader reader(path);
    std::string_view line;
    while (reader.next_line(line)) {
        if (reader.line_number() == 1) ppi::io::strip_byte_order_mark(line);
        if (ppi::io::is_skipped_line(line)) continue;
        const auto fields = ppi::io::split_fields(line, map_separator(line), 2);
        if (fields.size() < 2) {
            names.error = path + ":" + std::to_string(reader.line_number()) + ": expected an identifier and its name";
            names.failure = read_failure::bad_contents;
            return names;
        }
        const auto protein = net.find(ppi::io::unquote(fields[0]));
        const std::string_view name = ppi::io::unquote(fields[1]);
        if (!protein || named[*protein] || name.empty()) continue;
        named[*protein] = true;
        names.by_protein[*protein] = name;
        ++names.mapped;
    }
    if (!reader.error().empty()) {
        names.error = path + ": cannot read: " + reader.error();
        names.failure = read_failure::unreadable;
        return names;
    }
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        if (!named[u]) names.by_protein[u] = net.name(u);
    }
    names.missing = net.protein_count() - names.mapped;
    return names;
}

}  // namespace vornel
