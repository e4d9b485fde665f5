#pragma once

#include "match/bound.h"
#include "match/network.h"
#include "rf/picture.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::match {

// The network as a Touchstone 1.1 two-port over `f_ghz` (rising, >= 0): port 1 at the source,
// port 2 at the load, both referred to `source_ohm`; "!" lines list the elements. A frequency
// of 0 is written with the network's values at 1 Hz (a series C or shunt L has no finite
// matrix at DC). Each file's first line names the `program` that wrote it.
[[nodiscard]] std::string network_touchstone(const Ladder& ladder, const Losses& losses,
                                             double source_ohm, const std::vector<double>& f_ghz,
                                             std::string_view program = "veltrane-calc");

// The matched input (network and load) as a Touchstone 1.1 one-port referred to `source_ohm`,
// at every sample of `load`.
[[nodiscard]] std::string matched_touchstone(const Ladder& ladder, const Losses& losses,
                                             double source_ohm, const Load& load,
                                             std::string_view program = "veltrane-calc");

// The reflection at the network's input with `load` behind it, referred to `source_ohm`.
[[nodiscard]] std::vector<Complex> matched_reflections(const Ladder& ladder, const Losses& losses,
                                                       double source_ohm, const Load& load);

// SPICE subcircuit "veltrane_match" with the pins source, load and ground, values in H and F at
// full precision, and an example deck in its comments that puts the model of --spice behind it.
// With finite Q each part gets its loss resistance at the band's centre.
[[nodiscard]] std::string network_spice(const Ladder& ladder, const Losses& losses,
                                        double source_ohm, const Band& band,
                                        std::string_view program = "veltrane-calc");

// What the picture of a match shows.
struct MatchPlot {
    Ladder ladder;
    Losses losses;
    double source_ohm = 50;
    Load load; // over the picture's frequencies
    Band band;
    std::optional<Limit> bound;
};

// The Smith chart (normalised to the source resistance) and the return loss against frequency
// of the load alone and of the matched input, with the band's edges and the bound as a line.
[[nodiscard]] rf::Picture match_picture(const MatchPlot& plot);

// An element path on the picture's Smith chart as reflections against `z0_ohm`: a line from the
// load to the input with a dot at each joint, "load" and "in" at its ends, and its frequency in
// the chart's corner ("element path at 2.45 GHz"). Cut to the chart's square when it is zoomed.
void add_element_path(rf::Picture& picture, const ElementPath& path, double z0_ohm);

// "series L 12.5 nH, shunt C 3.3 pF": the ladder for people.
[[nodiscard]] std::string ladder_summary(const Ladder& ladder);

} // namespace veltrane::match
