#pragma once

#include <string>
#include <vector>

#include "run/fixed_names.hpp"

namespace ppi {

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

// Removes the file `name` when it is a regular file or a symbolic link (the link itself, never
// its target); a directory, device, pipe or socket is left alone and reported. A missing file
// is no error. Returns an empty text or one "Error: " line (without newline) naming the file.
std::string delete_file(const std::string& name);

// The spelling of a file name on the scorer's command line: "./" before a name that the scorer
// would otherwise read as its keyword NULL or as an option (a leading '-'); other names as given.
std::string scorer_file_argument(const std::string& name);

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

struct child_outcome {
    std::string start_error;  // why it could not be started; empty when it ran
    std::string failure;      // "exit status N" or "killed by signal N (name)"; empty on success
};

// Starts the executable at `path` with argv[0] = `path` followed by `arguments`, as a child
// process (no command processor) sharing our standard streams, and waits for it to end.
// SIGINT, SIGTERM and SIGHUP that reach us meanwhile are passed on to the child (unless we
// ignore them); once it has ended, we end by the first of them as it would have ended us.
child_outcome run_and_wait(const std::string& path, const std::vector<std::string>& arguments);

// Echoes the deletion command on standard output, then deletes `name`; a failure adds one
// "Error: " line.
void shell_delete(const std::string& name);

// Removes a stale `scored_file` silently, echoes the scorer command on standard output,
// flushes it, then runs the scorer and waits for it. Returns whether the phase may select from
// `scored_file`.
// Failures add one "Error: " line: a stale `scored_file` that cannot be removed (the scorer is
// not run; false), a scorer that cannot be found or started ("cannot run scorer vornel: ...";
// true, as the selection then reports the missing file), a scorer that exits non-zero or is
// killed ("scorer vornel failed: ..."; false).
bool run_scorer(const std::string& network, const std::string& pair_list, const std::string& method,
                int iterations, const std::string& scored_file);

}  // namespace ppi
