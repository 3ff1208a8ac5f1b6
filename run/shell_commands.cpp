#include "shell_commands.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "run/console.hpp"

extern char** environ;

namespace ppi {

namespace {

bool is_executable_file(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool exists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::string join_path(std::string_view dir, const std::string& name)
{
    if (dir.empty()) return "./" + name;
    std::string path(dir);
    if (path.back() != '/') path += '/';
    return path + name;
}

}  // namespace

std::string compose_delete_command(const std::string& name) { return "del " + name + "\n"; }

std::string compose_scorer_command(const std::string& network, const std::string& pair_list,
                                   const std::string& method, int iterations,
                                   const std::string& scored_file)
{
    return scorer_dir_prefix + scorer_name + " " + network + " " + pair_list + " " + method + " " +
           std::to_string(iterations) + " " + scored_file + "\n";
}

std::vector<std::string> scorer_arguments(const std::string& network, const std::string& pair_list,
                                          const std::string& method, int iterations,
                                          const std::string& scored_file)
{
    return {network, pair_list, method, std::to_string(iterations), scored_file};
}

std::string delete_file(const std::string& name)
{
    if (::unlink(name.c_str()) == 0 || errno == ENOENT) return {};
    return "Error: cannot delete file " + name + ": " + std::strerror(errno);
}

scorer_location find_scorer(const std::string& name, const char* path_variable,
                            const std::string& program_dir)
{
    std::vector<std::string> candidates{join_path("", name)};
    if (path_variable != nullptr) {
        std::string_view rest(path_variable);
        for (;;) {
            const std::size_t colon = rest.find(':');
            candidates.push_back(join_path(rest.substr(0, colon), name));
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    if (!program_dir.empty()) candidates.push_back(join_path(program_dir, name));

    std::string not_executable;
    for (const std::string& candidate : candidates) {
        if (is_executable_file(candidate)) return {candidate, {}};
        if (not_executable.empty() && exists(candidate)) not_executable = candidate;
    }
    if (!not_executable.empty()) return {{}, not_executable + " is not an executable file"};
    return {{}, "not found in the working directory, in PATH or beside ppi-refine"};
}

std::string program_directory()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

std::string run_and_wait(const std::string& path, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // The run ignores SIGPIPE (see main); the scorer gets the default disposition back.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t default_signals;
    sigemptyset(&default_signals);
    sigaddset(&default_signals, SIGPIPE);
    ::posix_spawnattr_setsigdefault(&attributes, &default_signals);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    // posix_spawn (not posix_spawnp) never falls back to a shell for a file it cannot execute.
    const int spawn_error = ::posix_spawn(&child, path.c_str(), nullptr, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (spawn_error != 0) return path + ": " + std::strerror(spawn_error);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return {};
}

void shell_delete(const std::string& name)
{
    print_text(compose_delete_command(name));
    if (const std::string error = delete_file(name); !error.empty()) print_line(error);
}

void run_scorer(const std::string& network, const std::string& pair_list, const std::string& method,
                int iterations, const std::string& scored_file)
{
    // A scorer that writes nothing must not leave the previous phase's or run's pairs behind.
    if (const std::string error = delete_file(scored_file); !error.empty()) print_line(error);
    print_text(compose_scorer_command(network, pair_list, method, iterations, scored_file));
    // The child writes straight to our standard output: our echo must be out before it starts.
    std::fflush(stdout);

    const scorer_location scorer = find_scorer(scorer_name, std::getenv("PATH"), program_directory());
    std::string error = scorer.error;
    if (!scorer.path.empty()) {
        error = run_and_wait(scorer.path,
                             scorer_arguments(network, pair_list, method, iterations, scored_file));
    }
    if (!error.empty()) print_line("Error: cannot run scorer " + scorer_name + ": " + error);
}

}  // namespace ppi
