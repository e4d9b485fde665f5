#include "output/report.h"

#include "model/state.h"
#include "output/format_number.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace veltrane {

namespace {

// Text positions are columns counted from 1: the title starts in column 16, every other text
// line in column 9.
constexpr std::size_t title_column = 16;
constexpr std::size_t line_column = 9;
constexpr std::string_view crlf = "\r\n";

class ReportBuilder {
  public:
    void title(std::string_view text) { line(title_column, text); }
    void text(std::string_view text) { line(line_column, text); }
    void value(std::string_view label, double number, std::string_view unit = {}) {
        line(line_column, label, format_number(number, Pattern::Report), unit);
    }
    void empty() { out_.append(crlf); }
    std::string take() { return std::move(out_); }

  private:
    void line(std::size_t column, std::string_view label, std::string_view number = {},
              std::string_view unit = {}) {
        out_.append(column - 1, ' ');
        out_.append(label);
        out_.append(number);
        out_.append(unit);
        out_.append(crlf);
    }
    std::string out_;
};

// "permission denied" rather than "Permission denied": it follows a colon in the message.
std::string reason(const std::error_code& error) {
    std::string text = error.message();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}

std::string cannot_write(const std::filesystem::path& path, const std::error_code& error) {
    return "Cannot write " + path.generic_string() + ": " + reason(error);
}

bool is_read_only(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return false;
    }
    using std::filesystem::perms;
    return (status.permissions() &
            (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

} // namespace

std::string report_text(const State& state, const FieldSet& fields) {
    ReportBuilder report;
    report.title("  Veltrane");
    report.empty();
    if (fields.is_selected(Option::SerPar)) {
        report.text("Topology: Series; Shunt perturbation");
        report.value("Q1 =", state.ser_par.q1);
        report.value("Q2 =", state.ser_par.q2);
    }
    if (fields.is_selected(Option::ParSer)) {
        report.text("Topology: Shunt; Series perturbation");
        report.value("Q1 =", state.par_ser.q1);
        report.value("Q2 =", state.par_ser.q2);
    }
    report.value("Qbp=", state.Qbp);
    report.empty();
    report.value("Lower Freq.=", state.FL, " MHz");
    report.value("Upper Freq.=", state.FH, " MHz");
    report.value("Mean  Freq.=", state.F0, " MHz");
    report.empty();
    report.value("R-Load =", state.RL, " Ohms");
    report.empty();
    report.value("Lp =", state.Lp, " nH");
    report.value("Cp =", state.Cp, " pF");
    report.value("Ls =", state.Ls, " nH");
    report.value("Cs =", state.Cs, " pF");
    report.text("---------------------------------------");
    return report.take();
}

std::optional<std::string> FileReport::write(std::string_view bytes) {
    namespace fs = std::filesystem;
    if (is_read_only(path_)) {
        return cannot_write(path_, std::make_error_code(std::errc::permission_denied));
    }

    // Write beside the target and rename over it, so that a failure never leaves a
    // half-written or emptied report.
    fs::path temp = path_;
    temp += ".tmp";
    auto fail = [&](int err) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return cannot_write(path_, std::error_code(err != 0 ? err : EIO, std::generic_category()));
    };

    errno = 0;
    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (file == nullptr) {
        return cannot_write(path_,
                            std::error_code(errno != 0 ? errno : EACCES, std::generic_category()));
    }
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int write_error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return fail(written ? errno : write_error);
    }

    std::error_code error;
    fs::rename(temp, path_, error);
    if (error) {
        const std::string message = cannot_write(path_, error);
        std::error_code ignored;
        fs::remove(temp, ignored);
        return message;
    }
    return std::nullopt;
}

} // namespace veltrane
