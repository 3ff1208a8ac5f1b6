#pragma once

#include <string>

namespace test_support {

// `text` compressed as one gzip member by the system's gzip program, for gzip fixtures made in
// the test.
std::string gzip_member(const std::string& text);

}  // namespace test_support
