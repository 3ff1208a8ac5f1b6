#include "shell_commands.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
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
    struct stat status {};
    if (::lstat(name.c_str(), &status) != 0) {
        if (errno == ENOENT) return {};
    } else if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode) && !S_ISDIR(status.st_mode)) {
        // A device node or pipe given as a file name (/dev/null as output_file, run as root)
        // must survive the run.
        return "Error: cannot delete file " + name + ": not a regular file";
    } else if (::unlink(name.c_str()) == 0 || errno == ENOENT) {
        return {};
    }
    return "Error: cannot delete file " + name + ": " + std::strerror(errno);
}

std::string scorer_file_argument(const std::string& name)
{
    return name == "NULL" || name.starts_with('-') ? "./" + name : name;
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

namespace {

const int forwarded_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The running child and the first signal passed on to it, for the handler.
volatile std::sig_atomic_t running_child = 0;
volatile std::sig_atomic_t forwarded_signal = 0;

extern "C" void forward_to_child(int signal_number)
{
    const int saved_errno = errno;
    if (forwarded_signal == 0) forwarded_signal = signal_number;
    if (running_child > 0) ::kill(static_cast<pid_t>(running_child), signal_number);
    errno = saved_errno;
}

// Signal handling while a child runs: SIGINT, SIGTERM and SIGHUP are passed on to it, except
// those we were started with ignored (nohup), which stay ignored.
class forwarding_scope {
public:
    forwarding_scope()
    {
        forwarded_signal = 0;
        for (std::size_t i = 0; i < std::size(forwarded_signals); ++i) {
            struct sigaction handler {};
            handler.sa_handler = forward_to_child;
            sigemptyset(&handler.sa_mask);
            ::sigaction(forwarded_signals[i], nullptr, &saved_[i]);
            if (saved_[i].sa_handler != SIG_IGN) ::sigaction(forwarded_signals[i], &handler, nullptr);
        }
    }
    ~forwarding_scope()
    {
        running_child = 0;
        for (std::size_t i = 0; i < std::size(forwarded_signals); ++i) {
            ::sigaction(forwarded_signals[i], &saved_[i], nullptr);
        }
    }
    forwarding_scope(const forwarding_scope&) = delete;
    forwarding_scope& operator=(const forwarding_scope&) = delete;

    // After the child has ended: a signal passed on ends us too, as it would have without the
    // child (the lines already written are flushed first).
    static void end_as_forwarded_signal()
    {
        const int signal_number = forwarded_signal;
        if (signal_number == 0) return;
        std::fflush(stdout);
        std::signal(signal_number, SIG_DFL);
        ::raise(signal_number);
    }

private:
    struct sigaction saved_[std::size(forwarded_signals)] {};
};

std::string describe_status(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status) == 0 ? std::string() : "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        const int signal_number = WTERMSIG(status);
        const char* name = ::strsignal(signal_number);
        return "killed by signal " + std::to_string(signal_number) + " (" + (name ? name : "unknown") + ")";
    }
    return "ended with status " + std::to_string(status);
}

// Starts the child with the forwarded signals still blocked (so none can come before its id is
// known), lets them through once it runs, and waits for it. Returns posix_spawn's error, 0
// when the child ran (then `status` is its wait status).
int spawn_forwarding_signals(const std::string& path, const std::vector<char*>& argv, const sigset_t& usual_mask,
                             int& status)
{
    forwarding_scope forwarding;
    // The run ignores SIGPIPE (see main); the scorer gets the default disposition back, and
    // our usual signal mask.
    sigset_t default_signals;
    sigemptyset(&default_signals);
    sigaddset(&default_signals, SIGPIPE);
    posix_spawnattr_t attributes;
    int spawn_error = ::posix_spawnattr_init(&attributes);
    if (spawn_error == 0) {
        spawn_error = ::posix_spawnattr_setsigdefault(&attributes, &default_signals);
        if (spawn_error == 0) spawn_error = ::posix_spawnattr_setsigmask(&attributes, &usual_mask);
        if (spawn_error == 0) {
            spawn_error = ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        }
        pid_t child = 0;
        // posix_spawn (not posix_spawnp) never falls back to a shell for a file it cannot execute.
        if (spawn_error == 0) {
            spawn_error = ::posix_spawn(&child, path.c_str(), nullptr, &attributes, argv.data(), environ);
        }
        ::posix_spawnattr_destroy(&attributes);
        if (spawn_error == 0) running_child = child;
        ::sigprocmask(SIG_SETMASK, &usual_mask, nullptr);
        if (spawn_error == 0) {
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::sigprocmask(SIG_SETMASK, &usual_mask, nullptr);
    return spawn_error;
}

}  // namespace

child_outcome run_and_wait(const std::string& path, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    sigset_t forwarded;
    sigset_t usual_mask;
    sigemptyset(&forwarded);
    for (const int signal_number : forwarded_signals) sigaddset(&forwarded, signal_number);
    ::sigprocmask(SIG_BLOCK, &forwarded, &usual_mask);
    int status = 0;
    const int spawn_error = spawn_forwarding_signals(path, argv, usual_mask, status);
    // Our own dispositions are back: a signal passed on ends us now as it would have.
    forwarding_scope::end_as_forwarded_signal();
    if (spawn_error != 0) return {path + ": " + std::strerror(spawn_error), {}};
    return {{}, describe_status(status)};
}

void shell_delete(const std::string& name)
{
    print_text(compose_delete_command(name));
    if (const std::string error = delete_file(name); !error.empty()) print_line(error);
}

bool run_scorer(const std::string& network, const std::string& pair_list, const std::string& method,
                int iterations, const std::string& scored_file)
{
    // A scorer that writes nothing must not leave the previous phase's or run's pairs behind;
    // pairs that cannot be removed would be selected again, so the phase keeps nothing.
    if (const std::string error = delete_file(scored_file); !error.empty()) {
        print_line(error + "; this phase keeps nothing");
        return false;
    }
    print_text(compose_scorer_command(network, pair_list, method, iterations, scored_file));
    // The child writes straight to our standard output: our echo must be out before it starts.
    std::fflush(stdout);

    const scorer_location scorer = find_scorer(scorer_name, std::getenv("PATH"), program_directory());
    if (scorer.path.empty()) {
        print_line("Error: cannot run scorer " + scorer_name + ": " + scorer.error);
        return true;
    }
    const child_outcome outcome =
        run_and_wait(scorer.path, scorer_arguments(network, pair_list, method, iterations, scored_file));
    if (!outcome.start_error.empty()) {
        print_line("Error: cannot run scorer " + scorer_name + ": " + outcome.start_error);
        return true;
    }
    if (!outcome.failure.empty()) {
        print_line("Error: scorer " + scorer_name + " failed: " + outcome.failure + "; this phase keeps nothing");
        return false;
    }
    return true;
}

}  // namespace ppi
