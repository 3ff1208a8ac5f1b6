#pragma once

#include <cstddef>
#include <string>

#include "io/unique_fd.hpp"

namespace vornel {

// An output file written under a temporary name in the same directory and renamed into place
// by commit(), so a failed run never leaves a partial file under the final name. A file being
// replaced keeps its permissions; when the name is a symbolic link, the link's target is
// replaced and the link stays. An existing OUTPUT that is a device or a pipe is written
// directly instead (there is nothing to rename).
class output_file {
public:
    // Creates the temporary file; on failure error() says what went wrong.
    explicit output_file(std::string path);
    // Removes the temporary file unless commit() succeeded.
    ~output_file();
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // Writes all bytes; returns false (and sets error()) on a failed write.
    bool write(const char* data, std::size_t size);
    // Closes the file and renames it to the final name; returns false (and sets error()) on failure.
    bool commit();

private:
    std::string path_;
    std::string target_path_;  // path_ with symbolic links followed
    std::string temporary_path_;
    ppi::io::unique_fd fd_;
    bool created_ = false;
    bool direct_ = false;  // writing straight into a device or pipe
    bool committed_ = false;
    std::string error_;
};

}  // namespace vornel
