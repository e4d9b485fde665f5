#pragma once
// Pieces of the safe file writer that every platform's implementation shares.

#include "io/reason_text.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrane::detail {

using veltrane::reason_text;

// "Cannot write <path>: <reason>", the one form of every message of the writer.
[[nodiscard]] std::string cannot_write(const std::filesystem::path& path, std::string_view reason);
[[nodiscard]] std::string cannot_write(const std::filesystem::path& path,
                                       const std::error_code& error);

} // namespace veltrane::detail
