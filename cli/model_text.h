#pragma once
// How veltrane-calc's model lines put numbers and tables for people: the figures of a fit, a
// complex impedance, columns of cells.

#include "model/field_set.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli::model_text {

using Json = nlohmann::ordered_json;

// A number for a person: six significant digits. Every number printed is finite; a value
// that is not would print as "-" rather than as "nan" or "inf".
[[nodiscard]] std::string people(double value);

[[nodiscard]] std::string complex_text(rf::Complex z);

[[nodiscard]] Json number_or_null(double value);

[[nodiscard]] Json fit_json(const std::optional<rf::FitStats>& stats);

[[nodiscard]] std::string fit_text(const std::optional<rf::FitStats>& stats);

// A field's text without the blanks its pattern puts in front.
[[nodiscard]] std::string trimmed(const FieldSet& fields, Field field);

// Rows of cells printed in columns: words left-aligned, numbers right-aligned. The columns are
// as wide as the cells of the full rows (those as long as the first); a shorter row's last cell,
// a message, is not padded.
void print_table(const std::vector<std::vector<std::string>>& rows,
                 const std::vector<bool>& left_aligned, std::ostream& out);

[[nodiscard]] std::optional<double> field_number(const FieldSet& fields, Field field);

} // namespace veltrane::cli::model_text
