#pragma once

#include <filesystem>
#include <string>

namespace test_support {

// A fresh directory under the system's temporary directory that the test works in: the
// constructor makes it the working directory, the destructor restores the previous one and
// removes the directory with everything in it, also when an assertion failed.
class scoped_temp_dir {
public:
    scoped_temp_dir();
    ~scoped_temp_dir();
    scoped_temp_dir(const scoped_temp_dir&) = delete;
    scoped_temp_dir& operator=(const scoped_temp_dir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// Replaces the file's contents; throws when it cannot be written.
void write_file(const std::filesystem::path& path, const std::string& contents);
// The whole file, or an empty text when it cannot be read.
std::string read_file(const std::filesystem::path& path);
// Writes a file only its owner may read, write and run.
void write_script(const std::filesystem::path& path, const std::string& contents);

}  // namespace test_support
