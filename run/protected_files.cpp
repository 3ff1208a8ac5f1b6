#include "protected_files.hpp"

#include <filesystem>
#include <system_error>

#include "io/same_file.hpp"

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
    if (const std::optional<bool> same = io::same_file(first, second)) return *same;
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
