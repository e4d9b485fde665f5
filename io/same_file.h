#pragma once
// Whether two names the user typed reach the same file: what one output writes must not be
// overwritten by another, nor may an output replace a file the run reads.

#include <filesystem>

namespace veltrane {

// True when `a` and `b` name one file however they are spelled: the same device and file number
// where both exist (hard links, symbolic links, relative and absolute names alike), else the
// same canonical path (symbolic links in the existing part resolved, "." and ".." dropped). A
// dangling symbolic link counts as the file it would create.
[[nodiscard]] bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace veltrane
