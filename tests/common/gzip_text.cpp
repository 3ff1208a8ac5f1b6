#include "gzip_text.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "temp_files.hpp"

namespace test_support {

std::string gzip_member(const std::string& text)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ppi-gzip-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    const std::filesystem::path plain = pattern;
    const std::filesystem::path packed = pattern + ".gz";
    write_file(plain, text);
    // -n: no name or time stamp in the header, so the bytes depend on the text only.
    const std::string command = "gzip -n -c < '" + plain.string() + "' > '" + packed.string() + "'";
    const int status = std::system(command.c_str());
    std::string result = read_file(packed);
    std::filesystem::remove(plain);
    std::filesystem::remove(packed);
    if (status != 0) throw std::runtime_error("gzip failed: " + command);
    return result;
}

}  // namespace test_support
