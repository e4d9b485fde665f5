#include "output/report.h"

#include "format/format_number.h"
#include "io/safe_file.h"
#include "model/quantities.h"
#include "model/result.h"

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
    void value(std::string_view label, double number, Field quantity_of) {
        line(line_column, label, format_number(number, Pattern::Report),
             report_unit(quantity(quantity_of).unit));
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

} // namespace

std::string report_text(const Result& result, Topology topology) {
    ReportBuilder report;
    report.title("  Veltrane");
    report.empty();
    report.text(topology == Topology::SeriesParallel ? "Topology: Series; Shunt perturbation"
                                                     : "Topology: Shunt; Series perturbation");
    report.value("Q1 =", result.Q1, Field::Q1);
    report.value("Q2 =", result.Q2, Field::Q2);
    report.value("Qbp=", result.Qbp, Field::Q0);
    report.empty();
    report.value("Lower Freq.=", result.FL, Field::FL);
    report.value("Upper Freq.=", result.FH, Field::FH);
    report.value("Mean  Freq.=", result.F0, Field::F0);
    report.empty();
    report.value("R-Load =", result.RL, Field::RL);
    report.empty();
    report.value("Lp =", result.Lp, Field::Lp);
    report.value("Cp =", result.Cp, Field::Cp);
    report.value("Ls =", result.Ls, Field::Ls);
    report.value("Cs =", result.Cs, Field::Cs);
    report.text("---------------------------------------");
    return report.take();
}

std::optional<std::string> FileReport::write(std::string_view bytes) {
    return write_file_safely(path_, bytes);
}

} // namespace veltrane
