#include "views/model_exports.h"

#include "rf/svg.h"

namespace veltrane::views {

rf::DescribedModel described_model(const rf::LumpedModel& exact,
                                   std::optional<rf::ESeries> series) {
    if (!series) {
        return {exact, std::nullopt, std::nullopt};
    }
    return {rf::standard_model(exact, *series), series, exact};
}

std::string model_export_bytes(ModelExport kind, const ModelExportInput& input) {
    switch (kind) {
    case ModelExport::Touchstone:
        return rf::touchstone_text(input.described, input.f_ghz, input.z0_ohm);
    case ModelExport::Spice:
        return input.calculation != nullptr
                   ? rf::spice_text(input.described, *input.calculation, input.choice, input.sweep)
                   : std::string{};
    case ModelExport::Picture:
        return input.picture != nullptr ? rf::svg_text(*input.picture) : std::string{};
    }
    return {};
}

} // namespace veltrane::views
