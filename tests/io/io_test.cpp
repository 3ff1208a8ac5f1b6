// The shared input layer: line ends, lines over block boundaries, fields, gzip input (whole,
// concatenated, damaged), binary content, and the same-file check.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gzip_text.hpp"
#include "io/block_reader.hpp"
#include "io/line_reader.hpp"
#include "io/same_file.hpp"
#include "temp_files.hpp"

namespace {

using ppi::io::line_reader;
using test_support::gzip_member;
using test_support::scoped_temp_dir;
using test_support::write_file;

struct read_result {
    std::vector<std::string> lines;
    std::string error;
};

read_result read_all_lines(const std::string& path)
{
    line_reader reader(path);
    read_result result;
    std::string_view line;
    while (reader.next_line(line)) {
        result.lines.emplace_back(line);
        EXPECT_EQ(reader.line_number(), result.lines.size());
    }
    result.error = reader.error();
    return result;
}

// Text whose line ends of every kind fall on and around the reader's block boundaries, with
// lines longer than a block.
std::string awkward_text()
{
    const std::size_t block = line_reader::block_size;
    std::string text;
    text += std::string(block - 1, 'a') + "\r\n";  // '\r' last in the first block
    text += "b\rc\r\rd\n\n";
    text += std::string(3 * block + 11, 'e') + "\n";
    for (int i = 0; text.size() < 5 * block; ++i) {
        text.append("P").append(std::to_string(i)).append("\tQ").append(std::to_string(i % 97)).append("\r\n");
    }
    text += "last without end";
    return text;
}

// The lines of `text`, written to a file and read back without an error.
std::vector<std::string> lines_of(const std::string& text)
{
    write_file("lines.txt", text);
    const read_result read = read_all_lines("lines.txt");
    EXPECT_EQ(read.error, "");
    return read.lines;
}

TEST(line_reader, accepts_every_line_end_and_a_missing_last_one)
{
    scoped_temp_dir dir;
    EXPECT_EQ(lines_of("a\nb\r\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(lines_of("a\r\rb\n\n"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(lines_of(""), std::vector<std::string>{});
}

TEST(line_reader, handles_lines_longer_than_a_block_and_a_crlf_split_between_blocks)
{
    scoped_temp_dir dir;
    const std::size_t block = line_reader::block_size;
    // '\r' is the last byte of the first block and '\n' the first of the second.
    const std::string first(block - 1, 'x');
    const std::string huge(3 * block + 17, 'y');
    const auto lines = lines_of(first + "\r\n" + huge + "\nz");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], first);
    EXPECT_EQ(lines[1], huge);
    EXPECT_EQ(lines[2], "z");
}

TEST(line_reader, reports_a_file_that_cannot_be_opened)
{
    scoped_temp_dir dir;
    line_reader reader("missing.txt");
    std::string_view line;
    EXPECT_FALSE(reader.next_line(line));
    EXPECT_NE(reader.error(), "");
}

TEST(line_reader, a_last_line_without_end_after_consumed_lines_reads_whole)
{
    scoped_temp_dir dir;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"\rC D", {"", "C D"}},
        {"\r\nC D", {"", "C D"}},
        {"a b\rC D", {"a b", "C D"}},
        {"a b\r\n\r\nlast", {"a b", "", "last"}},
    };
    for (const auto& [text, lines] : cases) {
        write_file("lines.txt", text);
        const read_result read = read_all_lines("lines.txt");
        EXPECT_EQ(read.error, "");
        EXPECT_EQ(read.lines, lines);
    }
}

TEST(gzip_input, reads_the_same_lines_as_the_plain_file)
{
    scoped_temp_dir dir;
    const std::string text = awkward_text();
    write_file("plain.txt", text);
    write_file("packed.txt.gz", gzip_member(text));
    // Members cut at awkward places: inside a line, between '\r' and '\n', and an empty one.
    const std::size_t cut = text.find("\r\n", 2 * line_reader::block_size) + 1;
    write_file("members.gz", gzip_member(text.substr(0, 10)) + gzip_member("") + gzip_member(text.substr(10, cut - 10)) +
                                 gzip_member(text.substr(cut)));

    const read_result plain = read_all_lines("plain.txt");
    ASSERT_EQ(plain.error, "");
    ASSERT_GT(plain.lines.size(), 1000u);
    EXPECT_EQ(plain.lines[0], std::string(line_reader::block_size - 1, 'a'));
    EXPECT_EQ(plain.lines[4], "d");
    EXPECT_EQ(plain.lines[5], "");
    EXPECT_EQ(plain.lines.back(), "last without end");
    for (const char* name : {"packed.txt.gz", "members.gz"}) {
        const read_result packed = read_all_lines(name);
        EXPECT_EQ(packed.error, "") << name;
        EXPECT_TRUE(packed.lines == plain.lines) << name;
    }
}

TEST(gzip_input, reports_a_truncated_or_corrupt_stream_at_its_line)
{
    scoped_temp_dir dir;
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "protein" + std::to_string(i) + " partner" + std::to_string(i * 7 % 1000) + "\n";
    const std::string packed = gzip_member(text);

    write_file("cut.gz", packed.substr(0, packed.size() / 2));
    const read_result cut = read_all_lines("cut.gz");
    EXPECT_EQ(cut.error.rfind("line " + std::to_string(cut.lines.size() + 1) + ": truncated gzip stream", 0), 0u)
        << cut.error;
    EXPECT_GT(cut.lines.size(), 1000u);  // the lines before the damage were handed out

    write_file("header_only.gz", packed.substr(0, 10));
    EXPECT_NE(read_all_lines("header_only.gz").error.find("truncated gzip stream"), std::string::npos);

    // A damaged checksum in the trailer: every line decompresses, then the check fails.
    std::string bad_check = packed;
    bad_check[bad_check.size() - 6] ^= 0x55;
    write_file("bad_check.gz", bad_check);
    const read_result check = read_all_lines("bad_check.gz");
    EXPECT_NE(check.error.find("corrupt gzip stream"), std::string::npos) << check.error;

    std::string scrambled = packed;
    for (std::size_t i = 1000; i < 1200; ++i) scrambled[i] = static_cast<char>(i * 31);
    write_file("scrambled.gz", scrambled);
    const read_result bad = read_all_lines("scrambled.gz");
    EXPECT_EQ(bad.error.rfind("line " + std::to_string(bad.lines.size() + 1) + ": corrupt gzip stream", 0), 0u)
        << bad.error;

    write_file("trailing.gz", gzip_member("A B\n") + "not gzip");
    EXPECT_NE(read_all_lines("trailing.gz").error.find("corrupt gzip stream"), std::string::npos);
}

TEST(binary_input, stops_at_the_line_holding_a_nul_byte)
{
    scoped_temp_dir dir;
    write_file("nul.txt", std::string("A B\nC \0D\nE F\n", 13));
    const read_result early = read_all_lines("nul.txt");
    EXPECT_EQ(early.lines, std::vector<std::string>{"A B"});
    EXPECT_EQ(early.error, "line 2: binary content (a NUL byte), not a text file");

    // Far into the file, beyond the first block, and inside a gzip stream.
    std::string text;
    int lines = 0;
    while (text.size() < 3 * line_reader::block_size) text += "line" + std::to_string(lines++) + "\r\n";
    text += std::string("x\0", 2) + "\n";
    write_file("late.gz", gzip_member(text));
    const read_result late = read_all_lines("late.gz");
    EXPECT_EQ(late.lines.size(), static_cast<std::size_t>(lines));
    EXPECT_EQ(late.error, "line " + std::to_string(lines + 1) + ": binary content (a NUL byte), not a text file");
}

TEST(block_reader, recognises_gzip_from_a_pipe_that_delivers_one_byte_first)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string packed = gzip_member("X Y\n");
    std::thread writer([&] {
        EXPECT_EQ(::write(ends[1], packed.data(), 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(::write(ends[1], packed.data() + 1, packed.size() - 1), static_cast<ssize_t>(packed.size() - 1));
        ::close(ends[1]);
    });
    ppi::io::block_reader reader{ppi::io::unique_fd(ends[0])};
    std::string text;
    while (reader.refill()) {
        text += reader.unread().view();
        reader.consume(reader.unread().size());
    }
    writer.join();
    EXPECT_TRUE(reader.compressed());
    EXPECT_EQ(reader.error(), "");
    EXPECT_EQ(text, "X Y\n");
}

TEST(fields, splits_on_blanks_and_tabs_and_ignores_further_columns)
{
    const auto fields = ppi::io::split_two_fields(" \tA\t \tB  0.9 extra");
    EXPECT_EQ(fields.count, 2);
    EXPECT_EQ(fields.first, "A");
    EXPECT_EQ(fields.second, "B");
    EXPECT_EQ(ppi::io::split_two_fields("A   ").count, 1);
    EXPECT_TRUE(ppi::io::is_skipped_line(""));
    EXPECT_TRUE(ppi::io::is_skipped_line(" \t "));
    EXPECT_TRUE(ppi::io::is_skipped_line("  # comment"));
    EXPECT_FALSE(ppi::io::is_skipped_line("A#1 B"));
}

TEST(fields, split_on_all_six_blank_characters)
{
    // A vertical tab or form feed separates fields as in the scored-pair reader.
    const auto fields = ppi::io::split_two_fields("\fA\vB\tC");
    EXPECT_EQ(fields.count, 2);
    EXPECT_EQ(fields.first, "A");
    EXPECT_EQ(fields.second, "B");
    EXPECT_TRUE(ppi::io::is_skipped_line("\v\f "));
}

TEST(same_file, compares_device_and_inode)
{
    scoped_temp_dir dir;
    write_file("a.txt", "x");
    write_file("b.txt", "x");
    std::filesystem::create_symlink("a.txt", "link.txt");
    std::filesystem::create_hard_link("a.txt", "hard.txt");
    EXPECT_EQ(ppi::io::same_file("a.txt", "link.txt"), true);
    EXPECT_EQ(ppi::io::same_file("hard.txt", "./a.txt"), true);
    EXPECT_EQ(ppi::io::same_file("a.txt", "b.txt"), false);
    EXPECT_EQ(ppi::io::same_file("a.txt", "missing.txt"), std::nullopt);
}

}  // namespace
