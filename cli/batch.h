#pragma once
// veltrane-calc --batch FILES... or a folder: the other options run on every file, the files
// on every core, one JSON object a line per file in the order given.

#include <ostream>
#include <string>
#include <vector>

namespace veltrane::cli {

inline constexpr std::string_view batch_option = "--batch";
inline constexpr std::string_view output_folder_option = "--output-dir";

[[nodiscard]] bool asks_for_batch(const std::vector<std::string>& args);

// The files are the words after --batch up to the next option; a folder stands for its
// Touchstone files (.s1p, .s2p, ...), in the order of their names. Each file is run as
// "--touchstone FILE --json --no-report" with the other options, and gives one line: its JSON
// object with "file" first, or {"file", "message"} when it gave a message. An option that writes
// a file (--report, --s1p, --match-s2p, ...) needs --output-dir DIR: each file's goes there as
// "STEM-NAME", STEM the file's name without its extension (made unique in the order given) and
// NAME the name given to the option. Progress goes to `err` as files finish. Returns
// exit_results when every file gave results, exit_message when any gave a message (or the folder
// cannot be made), exit_usage for a command line that cannot be used (printed once).
int run_batch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace veltrane::cli
