#pragma once

#include <string>

namespace test_files {

// `text` compressed as one gzip member by the system's gzip program, for gzip fixtures made in
// the test.
std::string gzip_member(const std::string& text);

}  // namespace test_files
