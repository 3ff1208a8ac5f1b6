#pragma once

#include <string>
#include <vector>

namespace ppi {

// Directory prefix placed before the scorer's name in the echoed scorer command. Empty: the
// scorer is looked up (see find_scorer) rather than named by path.
inline const std::string scorer_dir_prefix;

inline const std::string scorer_name = "vornel";

// "del <name>\n": the line echoed for a deletion.
std::string compose_delete_command(const std::string& name);

// "<scorer_dir_prefix>vornel <network> <pair_list> <method> <iterations> <scored_file>\n":
// the line echoed for a scorer run. Arguments appear as given, unquoted.
std::string compose_scorer_command(const std::string& network, const std::string& pair_list,
                                   const std::string& method, int iterations,
                                   const std::string& scored_file);

// The five arguments handed to the scorer, each one whole whatever characters it holds.
std::vector<std::string> scorer_arguments(const std::string& network, const std::string& pair_list,
                                          const std::string& method, int iterations,
                                          const std::string& scored_file);

// Removes the file `name` (a link itself, never its target; never a directory). A missing file
// is no error. Returns an empty text or one "Error: " line (without newline) naming the file.
std::string delete_file(const std::string& name);

struct scorer_location {
    std::string path;   // where the scorer was found; empty when it was not
    std::string error;  // why it cannot be run, when path is empty
};

// Looks for an executable regular file called `name` in the working directory, then in each
// directory of `path_variable` (the PATH value; may be null), then in `program_dir`.
scorer_location find_scorer(const std::string& name, const char* path_variable,
                            const std::string& program_dir);

// Directory holding the running executable (from /proc/self/exe); empty when unknown.
std::string program_directory();

// Starts the executable at `path` with argv[0] = `path` followed by `arguments`, as a child
// process (no command processor) sharing our standard streams, and waits for it to end. Its
// exit status is not examined. Returns an empty text, or why it could not be started.
std::string run_and_wait(const std::string& path, const std::vector<std::string>& arguments);

// Echoes the deletion command on standard output, then deletes `name`; a failure adds one
// "Error: " line.
void shell_delete(const std::string& name);

// Removes a stale `scored_file` silently, echoes the scorer command on standard output,
// flushes it, then runs the scorer and waits for it. A scorer that cannot be found or started
// adds one "Error: cannot run scorer vornel: ..." line; the scorer's own output and exit status
// are left alone.
void run_scorer(const std::string& network, const std::string& pair_list, const std::string& method,
                int iterations, const std::string& scored_file);

}  // namespace ppi
