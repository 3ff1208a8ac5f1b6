#include "protected_files.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace ppi {

namespace {

std::filesystem::path normalised_absolute(const std::string& name)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(name, error);
    if (error) return std::filesystem::path(name).lexically_normal();
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path.lexically_normal() : resolved;
}

}  // namespace

bool same_file(const std::string& first, const std::string& second)
{
    struct stat first_status {};
    struct stat second_status {};
    if (::stat(first.c_str(), &first_status) == 0 && ::stat(second.c_str(), &second_status) == 0) {
        return first_status.st_dev == second_status.st_dev &&
               first_status.st_ino == second_status.st_ino;
    }
    return normalised_absolute(first) == normalised_absolute(second);
}

std::string check_protected_files(const run_parameters& parameters)
{
    if (same_file(parameters.output_file, parameters.ppi_filename)) {
        return "Error: output_file " + parameters.output_file + " is the same file as ppi_filename " +
               parameters.ppi_filename + "; nothing done";
    }
    for (const std::string* fixed : {&scored_pair_file, &scorer_scratch_ids, &scorer_scratch_pairs}) {
        for (const auto& [role, name] : {std::pair{"ppi_filename", &parameters.ppi_filename},
                                         std::pair{"output_file", &parameters.output_file}}) {
            if (same_file(*name, *fixed)) {
                return std::string("Error: ") + role + " " + *name + " is the run's own file " +
                       *fixed + "; nothing done";
            }
        }
    }
    return {};
}

}  // namespace ppi
