#include "cli/calc_request.h"

namespace veltrane::cli {

double reference_ohm(const CalcRequest& request) {
    if (request.z0_ohm) {
        return *request.z0_ohm;
    }
    return request.data ? request.data->reference_ohm : 50.0;
}

} // namespace veltrane::cli
