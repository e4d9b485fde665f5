#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// Replaces the file at `path` with `bytes`, so that a reader sees either the old content or the
// whole new content, never a mixture or a truncated file. Every file the program writes (the
// report and every export) goes through here. Returns nothing on success, or the message for the
// user: "Cannot write <path>: <reason>".
[[nodiscard]] std::optional<std::string> write_file_safely(const std::filesystem::path& path,
                                                           std::string_view bytes);

} // namespace veltrane
