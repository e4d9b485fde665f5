#pragma once

// The match as veltrane-calc's JSON "match" holds it, and the bytes of the chosen network's files,
// for every front end that gives them (veltrane-calc, the Python module).

#include "match/design.h"
#include "rf/port_data.h"
#include "views/match_view.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace veltrane::views {

// The "match" object: band, source, objective (lossy parts), constraints, bound with its section,
// the networks, the standard values and the yield. Numbers that are not finite are null.
[[nodiscard]] nlohmann::ordered_json match_json(const MatchReport& report);

// The files asked for: --match-s2p, --match-s1p, --match-spice, --match-plot.
struct MatchFilePaths {
    std::optional<std::string> s2p, s1p, spice, plot;
    [[nodiscard]] bool any() const { return s2p || s1p || spice || plot; }
};

struct MatchFile {
    std::string path;
    std::string bytes;
};

// The files of the report's chosen network (its standard values when rounded), in the order
// s2p, s1p, spice, plot: with `data`, over every frequency of the data (the picture over the
// band with one band's width either side, when the data reach that far); without, over
// `model_over` (the model's impedance at the sweep's frequencies). Nothing without a chosen one.
[[nodiscard]] std::vector<MatchFile> match_files(const MatchFilePaths& paths,
                                                 const MatchReport& report,
                                                 const rf::PortData* data,
                                                 const match::Load& model_over);

} // namespace veltrane::views
