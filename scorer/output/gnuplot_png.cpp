#include "scorer/output/gnuplot_png.hpp"

#include "io/unique_fd.hpp"
#include "io/write_all.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vornel {

namespace {

// Writes the script into gnuplot's standard input and closes it. SIGPIPE is blocked on this
// thread, so a gnuplot that stops reading gives a failed write, not the end of this process.
void feed_script(ppi::io::unique_fd input, const std::string& script, int& error) {
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
    error = ppi::io::write_all(input.get(), script.data(), script.size());
    input = {};
}

struct gnuplot_process {
    pid_t pid = -1;
    ppi::io::unique_fd input;   // its standard input
    ppi::io::unique_fd output;  // its standard output
    std::string error;
};

gnuplot_process start_gnuplot() {
    gnuplot_process process;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return {-1, {}, {}, std::string("cannot make a pipe: ") + std::strerror(errno)};
    process.input = ppi::io::unique_fd(in[1]);
    ppi::io::unique_fd child_in(in[0]);
    if (::pipe2(out, O_CLOEXEC) != 0) return {-1, {}, {}, std::string("cannot make a pipe: ") + std::strerror(errno)};
    process.output = ppi::io::unique_fd(out[0]);
    ppi::io::unique_fd child_out(out[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child_in.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, child_out.get(), 1);
    char name[] = "gnuplot";
    char* argv[] = {name, nullptr};
    const int failed = ::posix_spawnp(&process.pid, name, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        process.pid = -1;
        process.error = std::string("cannot start gnuplot: ") + std::strerror(failed);
    }
    return process;
}

// Copies everything gnuplot prints into `out`; false (with out.error()) on a failed write.
bool copy_output(int from, output_file& out, std::size_t& copied) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return true;  // nothing more to read; the exit status tells the rest
        }
        if (!out.write(buffer, static_cast<std::size_t>(got))) return false;
        copied += static_cast<std::size_t>(got);
    }
}

std::string exit_problem(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status) == 0 ? std::string() : "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "unknown status";
}

}  // namespace

bool gnuplot_on_path() {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/bin:/bin";
    for (;;) {
        const std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/gnuplot";
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        dirs.remove_prefix(colon + 1);
    }
}

std::string draw_with_gnuplot(const std::string& script, output_file& out) {
    gnuplot_process process = start_gnuplot();
    if (process.pid < 0) return process.error;
    int feed_error = 0;
    std::thread feeder(feed_script, std::move(process.input), std::cref(script), std::ref(feed_error));
    std::size_t copied = 0;
    const bool written = copy_output(process.output.get(), out, copied);
    process.output = {};
    feeder.join();
    int status = 0;
    while (::waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!written) return out.error();
    if (const std::string problem = exit_problem(status); !problem.empty()) return "gnuplot failed (" + problem + ")";
    if (feed_error != 0) return std::string("cannot pass the script to gnuplot: ") + std::strerror(feed_error);
    if (copied == 0) return "gnuplot drew nothing";
    return {};
}

}  // namespace vornel
