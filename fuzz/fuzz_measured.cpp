// Fuzz target: what veltrane-calc computes on measured data, on small arbitrary files. The file
// is read (with small limits), a port taken, and one run made as the command line would make it:
// the points at F1 and F2 looked up (at samples, between them, outside), converted to
// impedances and calculated, the model checked against the data and fitted, all choices, or the
// best fit searched. It must never crash or hang, the exit status must be 0 or 1, and no output
// may hold a number that is not finite.

#include "check.h"
#include "cli/calc_cli.h"
#include "rf/interpolate.h"
#include "rf/numbers.h"
#include "rf/touchstone.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

using namespace veltrane::fuzzref;
namespace rf = veltrane::rf;
namespace cli = veltrane::cli;

namespace {

// Memory and time stay small: files of a few kilobytes, few samples for the searches (which
// work on every pair of samples).
constexpr rf::ReadLimits limits{256, 4096};
constexpr std::size_t most_samples = 64;
constexpr std::size_t most_searched_samples = 10;

// A word of the output that stands for a number that is not finite.
bool not_finite_word(std::string_view text) {
    std::string word;
    const auto bad = [&word] {
        return word == "nan" || word == "inf" || word == "infinity" || word == "null";
    };
    for (const char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            word += static_cast<char>(c | 0x20);
        } else {
            if (bad()) {
                return true;
            }
            word.clear();
        }
    }
    return bad();
}

// A frequency to look the data up at, picked by `code`: a sample, the middle of two, or a
// little outside the data.
double frequency(const rf::PortData& data, std::uint8_t code) {
    const std::size_t n = data.f_ghz.size();
    const std::size_t k = code % n;
    switch ((code / n) % 3) {
    case 0:
        return data.f_ghz[k];
    case 1:
        return k + 1 < n ? data.f_ghz[k] / 2 + data.f_ghz[k + 1] / 2 : data.f_ghz[k] * 1.5;
    default:
        return k == 0 ? data.f_ghz[0] / 2 : data.f_ghz[n - 1] + 1;
    }
}

void run(const std::vector<std::string>& args, const rf::PortData& data, std::string_view bytes) {
    std::ostringstream out;
    std::ostringstream err;
    auto parsed = cli::parse_calc_args(args, out, err);
    if (std::holds_alternative<int>(parsed)) {
        FUZZ_REQUIRE(false, "the command line was refused: ", err.str());
        return;
    }
    cli::CalcRequest& request = std::get<cli::CalcRequest>(parsed);
    request.data = data;
    const int status = cli::run_request(request, out, err);
    FUZZ_REQUIRE(status == cli::exit_results || status == cli::exit_message, "exit status ",
                 std::to_string(status), ": ", err.str(), " for ", escaped(bytes));
    FUZZ_REQUIRE(!not_finite_word(out.str()) && !not_finite_word(err.str()),
                 "a number that is not finite: ", out.str(), err.str(), " for ", escaped(bytes));
    FUZZ_REQUIRE(status == cli::exit_results || !err.str().empty() || !out.str().empty(),
                 "a message that says nothing for ", escaped(bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // Four bytes pick the run and the file's name; the rest is the file.
    if (size < 4) {
        return 0;
    }
    const std::uint8_t how = bytes[0];
    const std::uint8_t f1_code = bytes[1];
    const std::uint8_t f2_code = bytes[2];
    const std::uint8_t rl_code = bytes[3];
    const std::string_view file{reinterpret_cast<const char*>(bytes) + 4, size - 4};
    const std::string name = (how & 0x80) != 0 ? "a.s2p" : "a.s1p";

    const auto read = rf::read_touchstone(file, name, limits);
    if (const auto* message = std::get_if<std::string>(&read)) {
        FUZZ_REQUIRE(message->starts_with(name + " line "), "message ", escaped(*message));
        return 0;
    }
    const int port = (how & 0x40) != 0 ? 2 : 1;
    const auto taken = rf::port_data(std::get<rf::Network>(read), port);
    if (const auto* message = std::get_if<std::string>(&taken)) {
        FUZZ_REQUIRE(!message->empty(), "empty message");
        return 0;
    }
    const rf::PortData& data = std::get<rf::PortData>(taken);
    if (data.f_ghz.size() > most_samples) {
        return 0;
    }

    // Every lookup gives a finite impedance or a message.
    for (const std::uint8_t code : {f1_code, f2_code}) {
        const auto at = rf::impedance_at(data, frequency(data, code), "F1");
        if (const auto* point = std::get_if<rf::ImpedancePoint>(&at)) {
            FUZZ_REQUIRE(std::isfinite(point->z_ohm.real()) && std::isfinite(point->z_ohm.imag()),
                         "an impedance that is not finite for ", escaped(file));
        }
    }

    constexpr std::array<std::string_view, 4> rl_texts = {"50", "1", "1000", "0.001"};
    const std::string rl{rl_texts[rl_code % rl_texts.size()]};
    const std::array<std::string, 2> crossovers = {(how & 1) != 0 ? "inductive" : "capacitive",
                                                   (how & 2) != 0 ? "inductive" : "capacitive"};
    const std::string topology = (how & 4) != 0 ? "parallel-series" : "series-parallel";
    std::vector<std::string> args = {"--no-report"};
    switch ((how >> 3) & 7) {
    case 0:
    case 1:
    case 2: // one calculation, checked and fitted
        args.insert(args.end(), {"--f1", rf::shortest(frequency(data, f1_code)), "--f2",
                                 rf::shortest(frequency(data, f2_code)), "--rl", rl,
                                 "--f1-crossover", crossovers[0], "--f2-crossover", crossovers[1],
                                 "--topology", topology, "--check"});
        break;
    case 3: // all choices
        args.insert(args.end(),
                    {"--f1", rf::shortest(frequency(data, f1_code)), "--f2",
                     rf::shortest(frequency(data, f2_code)), "--rl", rl, "--all-choices"});
        break;
    case 4:
    case 5: // the best fit at a given RL
        if (data.f_ghz.size() > most_searched_samples) {
            return 0;
        }
        args.insert(args.end(), {"--best-fit", "--rl", rl});
        break;
    default: // the best fit with RL searched too
        if (data.f_ghz.size() > most_searched_samples) {
            return 0;
        }
        args.insert(args.end(), {"--best-fit", "--rl", "auto", "--allow-negative"});
        break;
    }
    run(args, data, file);
    return 0;
}
