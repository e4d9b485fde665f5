#pragma once
// veltrane-calc --amplifier FILE.s2p: the two-port's stability and gain, and the simultaneous
// conjugate match where it is unconditionally stable.

#include "match/bound.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace veltrane::cli {

inline constexpr std::string_view amplifier_option = "--amplifier";

struct AmplifierRequest {
    std::string file;
    std::optional<match::Band> band; // --band: the summary's band
    std::optional<double> at_ghz;    // --at: the match's frequency
};

// Whether the words ask for --amplifier (so that --band may go without --match).
[[nodiscard]] bool asks_for_amplifier(const CLI::App& app, const std::vector<std::string>& words);

// Adds --amplifier and --at.
void add_amplifier_options(CLI::App& app, std::string& file, std::string& at);

// The request from the parsed words (none without --amplifier), or the text of a usage error:
// an option --amplifier does not use, a --band or --at that is not a frequency.
[[nodiscard]] std::optional<std::string>
amplifier_request(const CLI::App& app, const std::string& file, const std::string& at,
                  const std::string& band, std::optional<AmplifierRequest>& request);

// Reads the file, works out the figures and prints them (the table and sentences, or one JSON
// object). Returns the exit status: results, or a message (the file, the band). With
// `match_elements` (--match N, which needs --band) also the input and output networks of 1 to N
// parts over the band and the amplifier with both in place.
int run_amplifier(const AmplifierRequest& request, std::optional<int> match_elements, bool json,
                  std::ostream& out, std::ostream& err);

} // namespace veltrane::cli
