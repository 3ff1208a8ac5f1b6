#include "test_support.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace ppi::test {

scoped_temp_dir::scoped_temp_dir() : previous_(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ppi-refine-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
}

scoped_temp_dir::~scoped_temp_dir()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
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

program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& path_variable)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Keep the rest of the environment (sanitizer options, for one); replace PATH.
    const std::string path_entry = "PATH=" + path_variable;
    std::vector<char*> envp{const_cast<char*>(path_entry.c_str())};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).substr(0, 5) != "PATH=") envp.push_back(*entry);
    }
    envp.push_back(nullptr);

    // The transcript goes to a file, so the program's stdout is fully buffered, as in a script
    // that redirects it: the ordering of our lines and the scorer's is then really tested.
    char transcript_name[] = "/tmp/ppi-refine-transcript-XXXXXX";
    const int transcript = ::mkstemp(transcript_name);
    if (transcript < 0) throw std::runtime_error("mkstemp failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(transcript, STDOUT_FILENO);
        ::dup2(transcript, STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(transcript);
    program_run run{read_file(transcript_name), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    ::unlink(transcript_name);
    return run;
}

}  // namespace ppi::test
