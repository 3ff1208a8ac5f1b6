#pragma once

#include <optional>
#include <string>

namespace ppi::io {

// Whether the two names denote the same file: the same device and inode, so hard links and
// symbolic links to it count. Empty when either name cannot be looked up (a missing file).
std::optional<bool> same_file(const std::string& first, const std::string& second);

// True when `path` exists and is a regular file (after following symbolic links).
bool is_regular_file(const std::string& path);

}  // namespace ppi::io
