#include "scorer/output/graphml.hpp"

#include <algorithm>
#include <vector>

namespace vornel {

namespace {

constexpr std::string_view document_start =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://graphml.graphdrawing.org/xmlns "
    "http://graphml.graphdrawing.org/xmlns/1.0/graphml.xsd\">\n"
    "  <key id=\"name\" for=\"node\" attr.name=\"name\" attr.type=\"string\"/>\n"
    "  <key id=\"score\" for=\"edge\" attr.name=\"score\" attr.type=\"double\"/>\n"
    "  <graph id=\"scored_pairs\" edgedefault=\"undirected\">\n";

constexpr std::string_view document_end = "  </graph>\n</graphml>\n";

// The length of the UTF-8 sequence at text[i], or 0 when it is not one (overlong forms,
// surrogates and code points above U+10FFFF included).
std::size_t utf8_sequence_at(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
    if (length == 0 || lead > 0xf4 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
    }
    const unsigned char second = byte(i + 1);
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0) || (lead == 0xf0 && second < 0x90) ||
        (lead == 0xf4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

// Whether XML 1.0 can hold `text` as attribute data: UTF-8 without control characters.
bool is_xml_text(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x20) return false;
        const std::size_t length = utf8_sequence_at(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// The proteins in the pairs of the records, by id.
std::vector<bool> proteins_written(const record_runs& runs, const pair_naming& naming) {
    std::vector<bool> written(naming.net->protein_count(), false);
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (naming.listed) {
                const auto& pair = naming.listed->pairs[record.tie];
                written[pair.first] = written[pair.second] = true;
            } else {
                const pair_ids pair = pair_of(record.tie);
                written[pair.first] = written[pair.second] = true;
            }
        }
    }
    return written;
}

void append_node(std::string& text, std::string_view name) {
    const std::size_t at = text.size();
    text.resize(at + 2 * escaped_size_bound(name.size()) + 64);
    char* out = text.data() + at;
    out = std::copy_n("    <node id=\"", 14, out);
    out = append_escaped(out, name);
    out = std::copy_n("\"><data key=\"name\">", 19, out);
    out = append_escaped(out, name);
    out = std::copy_n("</data></node>\n", 15, out);
    text.resize(static_cast<std::size_t>(out - text.data()));
}

}  // namespace

char* append_escaped(char* out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&': out = std::copy_n("&amp;", 5, out); break;
            case '<': out = std::copy_n("&lt;", 4, out); break;
            case '>': out = std::copy_n("&gt;", 4, out); break;
            case '"': out = std::copy_n("&quot;", 6, out); break;
            case '\'': out = std::copy_n("&apos;", 6, out); break;
            default: *out++ = c;
        }
    }
    return out;
}

char* append_edge_start(char* out, std::string_view a, std::string_view b) {
    out = std::copy_n("    <edge source=\"", 18, out);
    out = append_escaped(out, a);
    out = std::copy_n("\" target=\"", 10, out);
    out = append_escaped(out, b);
    return std::copy_n("\"><data key=\"score\">", 20, out);
}

graphml_frame make_graphml_frame(const record_runs& runs, const pair_naming& naming, const std::string& output_path) {
    graphml_frame frame;
    const std::vector<bool> written = proteins_written(runs, naming);
    frame.prologue = document_start;
    for (std::uint32_t u = 0; u < written.size(); ++u) {
        if (!written[u]) continue;
        const std::string_view name = naming.net->name(u);
        if (!is_xml_text(name)) {
            frame = {};
            frame.error = output_path + ": cannot write GraphML: identifier '" + std::string(name) +
                          "' is not UTF-8 text without control characters, which XML requires";
            return frame;
        }
        append_node(frame.prologue, name);
    }
    frame.epilogue = document_end;
    return frame;
}

}  // namespace vornel
