#pragma once

#include "model/field_set.h"
#include "model/result.h"
#include "output/report.h"

namespace veltrane {

// How one CALCULATE ended.
enum class Outcome {
    Results,      // the ten result fields are filled and the report went to its sink
    Message,      // the calculation stopped with a message; fields cleared, no report
    ReportFailed, // results shown, but the report could not be written (message says why)
};

// The CALCULATE command: hides the message field, clears the results, reads the inputs and
// option buttons, solves the chosen topology and fills the result fields, then hands the
// report text to `report`. Never throws for any field text or option combination. When results
// are shown and `final_result` is given, it receives the calculation's result at full precision.
Outcome calculate(FieldSet& fields, ReportSink& report, Result* final_result = nullptr);

} // namespace veltrane
