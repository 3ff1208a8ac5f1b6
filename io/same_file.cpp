#include "io/same_file.hpp"

#include <sys/stat.h>

namespace ppi::io {

std::optional<bool> same_file(const std::string& first, const std::string& second)
{
    struct stat first_status {};
    struct stat second_status {};
    if (::stat(first.c_str(), &first_status) != 0 || ::stat(second.c_str(), &second_status) != 0) {
        return std::nullopt;
    }
    return first_status.st_dev == second_status.st_dev && first_status.st_ino == second_status.st_ino;
}

bool is_regular_file(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace ppi::io
