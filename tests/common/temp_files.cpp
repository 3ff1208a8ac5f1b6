#include "temp_files.hpp"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace test_support {

scoped_temp_dir::scoped_temp_dir() : previous_(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ppi-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
}

scoped_temp_dir::~scoped_temp_dir()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    // A test may have taken the write permission away to provoke an error.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::filesystem::path& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void write_script(const std::filesystem::path& path, const std::string& contents)
{
    write_file(path, contents);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

}  // namespace test_support
