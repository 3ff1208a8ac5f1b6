#include "scorer/output_file.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "io/write_all.hpp"

namespace vornel {

namespace {

// The temporary file to remove when the process is interrupted (one output per process).
char interrupted_cleanup_path[4096];
volatile std::sig_atomic_t interrupted_cleanup_armed = 0;

extern "C" void remove_temporary_and_reraise(int signal_number) {
    if (interrupted_cleanup_armed) ::unlink(interrupted_cleanup_path);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// An interrupt (Ctrl-C, kill) removes the temporary file instead of leaving it behind.
void arm_cleanup_on_interrupt(const std::string& temporary_path) {
    if (temporary_path.size() >= sizeof interrupted_cleanup_path) return;
    std::memcpy(interrupted_cleanup_path, temporary_path.c_str(), temporary_path.size() + 1);
    interrupted_cleanup_armed = 1;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the process was started with ignored (nohup, a background job) stays ignored.
        struct sigaction current {};
        if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        std::signal(signal_number, remove_temporary_and_reraise);
    }
}

void disarm_cleanup_on_interrupt() { interrupted_cleanup_armed = 0; }

// The file a name finally refers to: symbolic links are followed (also a last one whose target
// does not exist yet), so the output replaces the link's target and the link stays. Relative
// targets are relative to the link's directory. Gives up after as many links as the system does.
std::string link_target(std::string path) {
    constexpr int max_links = 40;
    for (int link = 0; link < max_links; ++link) {
        char target[4096];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0 || static_cast<std::size_t>(length) == sizeof target) return path;
        const std::string_view text(target, static_cast<std::size_t>(length));
        const auto slash = path.rfind('/');
        if (text.front() == '/' || slash == std::string::npos) {
            path = text;
        } else {
            path = path.substr(0, slash + 1) + std::string(text);
        }
    }
    return path;
}

std::string temporary_name_for(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + base + ".vornel-XXXXXX";
}

}  // namespace

output_file::output_file(std::string path) : path_(std::move(path)) {
    target_path_ = link_target(path_);
    struct stat existing {};
    if (::stat(target_path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        // Refused here, before any work: the finished file could never be renamed over it.
        error_ = path_ + ": is a directory; give a file name";
        return;
    }
    if (::stat(target_path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        // A device or pipe (/dev/null, /dev/stdout, a FIFO) cannot be replaced by renaming, and
        // must not be: it is written directly.
        fd_ = ppi::io::unique_fd(::open(target_path_.c_str(), O_WRONLY | O_CLOEXEC));
        if (!fd_) error_ = path_ + ": cannot open for writing: " + std::strerror(errno);
        direct_ = true;
        return;
    }
    temporary_path_ = temporary_name_for(target_path_);
    fd_ = ppi::io::unique_fd(::mkostemp(temporary_path_.data(), O_CLOEXEC));
    if (!fd_) {
        error_ = path_ + ": cannot create a file in its directory: " + std::strerror(errno);
        return;
    }
    created_ = true;
    arm_cleanup_on_interrupt(temporary_path_);
    // mkostemp creates the file private to its owner. A file being replaced keeps its
    // permissions; a new one gets the usual ones.
    if (::stat(target_path_.c_str(), &existing) == 0) {
        ::fchmod(fd_.get(), existing.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_.get(), 0666 & ~mask);
    }
}

output_file::~output_file() {
    fd_ = {};
    if (created_ && !committed_) ::unlink(temporary_path_.c_str());
    if (created_) disarm_cleanup_on_interrupt();
}

bool output_file::write(const char* data, std::size_t size) {
    if (const int error = ppi::io::write_all(fd_.get(), data, size); error != 0) {
        error_ = path_ + ": cannot write: " + std::strerror(error);
        return false;
    }
    return true;
}

bool output_file::commit() {
    if (const int error = fd_.close(); error != 0) {
        error_ = path_ + ": cannot write: " + std::strerror(error);
        return false;
    }
    if (direct_) return true;
    if (::rename(temporary_path_.c_str(), target_path_.c_str()) != 0) {
        error_ = path_ + ": cannot rename the finished file into place: " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    disarm_cleanup_on_interrupt();
    return true;
}

}  // namespace vornel
