#pragma once
// A library of real parts: measured two-ports of chip inductors and capacitors, each measured in
// series between port 1 and port 2 of a fixture, listed in a folder's parts.csv.
//
// A part's impedance is the B element of the two-port's chain matrix, worked out from all four
// parameters: with S referred to real R1 and R2,
//   Z = sqrt(R1 R2) ((1 + S11)(1 + S22) - S12 S21) / (2 S21),
// from Y data -1 / Y21 and from Z data (Z11 Z22 - Z12 Z21) / Z21. For a pure series impedance
// this equals 2 Z0 (1 - S21) / S21; unlike that, it leaves out the fixture's shunt capacitance
// at the pads (B of shunt, series, shunt is the series impedance alone).

#include "match/design.h"
#include "match/network.h"
#include "rf/touchstone.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::match {

struct Part {
    Kind kind = Kind::L;
    double value = 0.0;  // nominal, nH or pF
    std::string file;    // as parts.csv names it
    std::string package; // may be empty
    Load z;              // the measured impedance at the file's frequencies
};

struct PartLibrary {
    std::string folder;
    std::vector<Part> parts;

    // The part's impedance at `f_ghz`: real and imaginary parts interpolated linearly (load_at).
    [[nodiscard]] Complex impedance(int part, double f_ghz) const;
    // The message naming the first part whose file does not cover fl_ghz .. fh_ghz; none when all
    // do.
    [[nodiscard]] std::optional<std::string> uncovered(double fl_ghz, double fh_ghz) const;
};

// The series impedance of a two-port read from a Touchstone file (see above) at each of its
// frequencies, or "<file> line <n>: ..." when it is not a two-port or has no such impedance.
[[nodiscard]] std::variant<Load, std::string> series_impedance(const rf::Network& network);

// Reads `folder`/parts.csv (a header line "kind,value,unit,file[,package]", then one part a line:
// kind L or C, a positive value, its unit nH/uH for L and pF/nF for C, the file relative to the
// folder, and optionally the package) and every file it names. Messages name the file and line.
[[nodiscard]] std::variant<PartLibrary, std::string> read_parts(const std::string& folder);

// The parts of `kind` in the library, by rising value (indices into library.parts).
[[nodiscard]] std::vector<int> parts_of(const PartLibrary& library, Kind kind);

// A small circuit that stands for a part over a band (SPICE): an inductor as (R + jwL) || 1/(jwC),
// a capacitor as R + jwL + 1/(jwC); `c_pf` 0 for an inductor without parallel capacitance.
struct PartEquivalent {
    double r_ohm = 0.0, l_nh = 0.0, c_pf = 0.0;
    double worst_error = 0.0; // largest |Z_equivalent - Z_measured| / |Z_measured| over the band
};
[[nodiscard]] Complex equivalent_impedance(Kind kind, const PartEquivalent& e, double f_ghz);

// The equivalent of `part` fitted to its measured impedance at 101 frequencies across fl..fh
// (GHz): a capacitor's reactance by least squares in w and -1/w and its R as the mean; an
// inductor's parallel C by a scan of its logarithm, then L and R of what is left in series, the
// C with the smallest worst error kept.
[[nodiscard]] PartEquivalent fit_equivalent(const PartLibrary& library, int part, double fl_ghz,
                                            double fh_ghz);

// Parts tried either side of the part of nearest nominal value, for each element.
inline constexpr int part_steps_each_side = 2;

// `design` built of the parts of input.losses.parts: each element gets a part of its kind (within
// the constraints' ranges), the figure (the worst |Gamma_in|, or the smallest gain when the aim is
// the gain) computed with the measured impedances. Never worse than the part of nearest nominal
// value (ratio) for each element: the best of that and of the parts part_steps_each_side either
// side of it, every combination when there are at most 20,000, else one element at a time from
// the best so far until none improves. None without a library or a part of some element's kind.
[[nodiscard]] std::optional<Design> parts_network(const Design& design, const DesignInput& input);

// `design` built of the part of nearest nominal value (ratio) for each element: what
// parts_network() starts from and never does worse than. None as for parts_network().
[[nodiscard]] std::optional<Design> nearest_parts(const Design& design, const DesignInput& input);

} // namespace veltrane::match
