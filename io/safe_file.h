#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// Replaces the file at `path` with `bytes`, so that a reader sees either the old content or the
// whole new content, never a mixture or a truncated file. Every file the program writes (the
// report and every export) goes through here. Returns nothing on success, or the message for the
// user: "Cannot write <path>: <reason>", the reason in lower case and about what really failed.
//
// A regular file is replaced: the bytes go to a new file with a unique name in the same folder,
// created exclusively, flushed to the disk, given the old file's permission bits (and its owner
// and group where the process may), and renamed over the old one; the folder is flushed after.
// A file the user may not write (no write bit at all, or the system's own check refuses it) is
// left untouched with "permission denied". Several writers at once each leave one whole file.
// The name given gets the new content: another hard link to the old file keeps the old content.
// A symbolic link is followed and the file it names is replaced, the link kept.
// Other kinds of file are never replaced: a character device or a named pipe that can be opened
// for writing is written into directly, a directory is refused ("is a directory"), and so is
// everything else.
[[nodiscard]] std::optional<std::string> write_file_safely(const std::filesystem::path& path,
                                                           std::string_view bytes);

} // namespace veltrane
