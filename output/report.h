#pragma once

#include "model/choice.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

struct Result;

// The text of "Model.prt" for a finished calculation: 18 CR LF lines of printable ASCII.
// The topology line names `topology`, the one the calculation solved.
[[nodiscard]] std::string report_text(const Result& result, Topology topology);

// Where a successful calculation's report goes.
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    // Takes the whole report; returns a message for the user when it could not be written.
    virtual std::optional<std::string> write(std::string_view bytes) = 0;
};

// Writes the report to a file, replacing it only once the new content is complete: the bytes
// go to a temporary file in the same directory, which is then renamed over the old one. A
// read-only report file is left as it is.
class FileReport final : public ReportSink {
  public:
    explicit FileReport(std::filesystem::path path) : path_(std::move(path)) {}
    std::optional<std::string> write(std::string_view bytes) override;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Keeps the report in memory (no disk).
class MemoryReport final : public ReportSink {
  public:
    std::optional<std::string> write(std::string_view bytes) override {
        bytes_.assign(bytes);
        written_ = true;
        return std::nullopt;
    }
    [[nodiscard]] const std::string& bytes() const { return bytes_; }
    [[nodiscard]] bool written() const { return written_; }

  private:
    std::string bytes_;
    bool written_ = false;
};

// Discards the report.
class NoReport final : public ReportSink {
  public:
    std::optional<std::string> write(std::string_view) override { return std::nullopt; }
};

// The name of the report file the window writes, in the current directory.
inline constexpr std::string_view report_file_name = "Model.prt";

} // namespace veltrane
