#include "protected_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string check_file_kinds(const run_parameters& parameters)
{
    struct stat status {};
    if (::stat(parameters.ppi_filename.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        return "Error: ppi_filename " + parameters.ppi_filename +
               " is not a regular file (it is read three times; a pipe gives its lines only once); "
               "nothing done";
    }
    if (::lstat(parameters.output_file.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISLNK(status.st_mode)) {
        return "Error: output_file " + parameters.output_file + " is not a regular file; nothing done";
    }
    return {};
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
    struct named_file {
        const char* role;
        const std::string& name;
    };
    const named_file inputs[] = {{"ppi_filename", parameters.ppi_filename}, {"output_file", parameters.output_file}};
    for (const std::string* fixed : run_files) {
        for (const named_file& input : inputs) {
            if (same_file(input.name, *fixed)) {
                return std::string("Error: ") + input.role + " " + input.name + " is the run's own file " + *fixed +
                       "; nothing done";
            }
        }
    }
    return check_file_kinds(parameters);
}

std::string working_directory_lock::acquire()
{
    // Without O_CLOEXEC: the scorer inherits the descriptor and with it the lock, so a scorer
    // left running by a killed run still keeps a new run out until it ends.
    directory_ = io::unique_fd(::open(".", O_RDONLY | O_DIRECTORY));
    if (!directory_) return {};
    if (::flock(directory_.get(), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return {};
    return "Error: another run is using the working directory's files " + scored_pair_file + ", " +
           scorer_scratch_ids + " and " + scorer_scratch_pairs + "; nothing done";
}

}  // namespace ppi
