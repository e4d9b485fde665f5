#include "cli/model_text.h"

#include "format/text_number.h"
#include "rf/numbers.h"
#include "views/people_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ostream>

namespace veltrane::cli::model_text {

// A number for a person: six significant digits. Every number printed is finite; a value
// that is not would print as "-" rather than as "nan" or "inf".
std::string people(double value) {
    return views::people_number(value);
}

std::string complex_text(rf::Complex z) {
    return views::impedance_text(z, views::Typography::Ascii);
}

Json number_or_null(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json fit_json(const std::optional<rf::FitStats>& stats) {
    Json object = Json::object();
    object["max"] = stats ? number_or_null(stats->max) : Json(nullptr);
    object["rms"] = stats ? number_or_null(stats->rms) : Json(nullptr);
    object["at_ghz"] = stats ? number_or_null(stats->at_ghz) : Json(nullptr);
    object["points"] = stats ? stats->points : 0;
    return object;
}

std::string fit_text(const std::optional<rf::FitStats>& stats) {
    if (!stats) {
        return "no samples";
    }
    return "largest " + people(stats->max) + " at " + people(stats->at_ghz) + " GHz, RMS " +
           people(stats->rms) + ", " + std::to_string(stats->points) +
           (stats->points == 1 ? " sample" : " samples");
}

// A field's text without the blanks its pattern puts in front.
std::string trimmed(const FieldSet& fields, Field field) {
    std::string text = fields.text(field);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// Rows of cells printed in columns: words left-aligned, numbers right-aligned. The columns are
// as wide as the cells of the full rows (those as long as the first); a shorter row's last cell,
// a message, is not padded.
void print_table(const std::vector<std::vector<std::string>>& rows,
                 const std::vector<bool>& left_aligned, std::ostream& out) {
    std::vector<std::size_t> widths(left_aligned.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; row.size() == widths.size() && c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            const bool last_of_short_row = row.size() < widths.size() && c + 1 == row.size();
            const std::string padding(
                last_of_short_row ? 0 : widths[c] - std::min(widths[c], row[c].size()), ' ');
            if (c > 0) {
                line += "  ";
            }
            line += left_aligned[c] ? row[c] + padding : padding + row[c];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

std::optional<double> field_number(const FieldSet& fields, Field field) {
    return text_to_number(fields.text(field));
}

} // namespace veltrane::cli::model_text
