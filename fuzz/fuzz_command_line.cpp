// Fuzz target: veltrane-calc's whole command line with random option texts: the band, the
// source, the parts' Q, the yield, the number of elements, the standard series, the reference,
// the fields, and file names (among them the measured file itself). Each run is made with --json
// or without. It must never crash or hang; the exit status is 0, 1 or 2; the JSON output parses;
// no output, message or file written holds a number that is not finite; the measured file is
// never changed by a run that reads it; and a usage error writes nothing.

#include "check.h"
#include "cli/calc_cli.h"
#include "rf/numbers.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

using namespace veltrane::fuzzref;
namespace cli = veltrane::cli;
namespace fs = std::filesystem;

namespace {

// The options whose texts the bytes give. Texts are drawn from a small alphabet so that no
// word of the input itself can read as "nan" or "inf" in an output.
constexpr std::array<std::string_view, 22> options = {
    "--band",      "--source",         "--inductor-q", "--capacitor-q", "--yield", "--match",
    "--e-series",  "--match-e-series", "--z0",         "--f1",          "--f2",    "--rl",
    "--x1",        "--touchstone",     "--s1p",        "--spice",       "--plot",  "--match-s2p",
    "--match-s1p", "--match-spice",    "--match-plot", "--report"};
constexpr std::string_view alphabet = "0123456789.eE+-:@ x";

bool is_file_option(std::string_view name) {
    return name == "--touchstone" || name == "--s1p" || name == "--spice" || name == "--plot" ||
           name.starts_with("--match-s") || name == "--match-plot" || name == "--report";
}

// The folder every file goes to, with the measured file in it.
const fs::path& folder() {
    static const fs::path path = [] {
        fs::path p =
            fs::temp_directory_path() / ("veltrane-fuzz-cli-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return path;
}

// 40 ohm in series with 120 nH from 250 to 450 MHz, referred to 50 ohm.
const std::string& measured_bytes() {
    static const std::string text = [] {
        std::string t = "# GHz S RI R 50\n";
        for (int k = 0; k <= 20; ++k) {
            const double f = 0.25 + 0.01 * k;
            const double x = 2 * 3.141592653589793 * f * 120;
            // (40 + jx - 50) / (40 + jx + 50)
            const double den = 90 * 90 + x * x;
            t += veltrane::rf::shortest(f) + " " +
                 veltrane::rf::shortest((-10 * 90 + x * x) / den) + " " +
                 veltrane::rf::shortest((x * 90 + 10 * x) / den) + "\n";
        }
        return t;
    }();
    return text;
}

std::string file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A word of the text that stands for a number that is not finite.
bool not_finite_word(std::string_view text) {
    std::string word;
    const auto bad = [&word] { return word == "nan" || word == "inf" || word == "infinity"; };
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

// Every string of the JSON value free of such words.
bool strings_finite(const nlohmann::json& value) {
    if (value.is_string()) {
        return !not_finite_word(value.get<std::string>());
    }
    if (value.is_structured()) {
        for (const auto& item : value) {
            if (!strings_finite(item)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const fs::path& dir = folder();
    const fs::path measured = dir / "in.s1p";
    if (file_bytes(measured) != measured_bytes()) {
        std::ofstream(measured, std::ios::binary) << measured_bytes();
    }
    const bool json = (bytes[0] & 1) != 0;
    const bool model = (bytes[0] & 2) != 0;
    std::vector<std::string> args;
    if (model) {
        args = {"--f1-crossover", "inductive",  "--f2-crossover",
                "capacitive",     "--topology", "parallel-series"};
    }
    bool report = false;
    // Then option, length, text, ... .
    for (std::size_t at = 1; at + 1 < size;) {
        const std::string_view name = options[bytes[at] % options.size()];
        const std::size_t length = std::min<std::size_t>(bytes[at + 1] % 24, size - at - 2);
        std::string text;
        for (std::size_t k = 0; k < length; ++k) {
            text += alphabet[bytes[at + 2 + k] % alphabet.size()];
        }
        at += 2 + length;
        // Long runs are not what is looked for here: few elements, few yield runs.
        if (name == "--match") {
            const auto n = veltrane::rf::read_number(text);
            if (n && *n > 2) {
                return -1;
            }
        }
        if (name == "--yield") {
            const std::size_t colon = text.find(':');
            const auto runs = colon == std::string::npos
                                  ? std::nullopt
                                  : veltrane::rf::read_number(text.substr(
                                        colon + 1, text.find(':', colon + 1) - colon - 1));
            if (runs && *runs > 200) {
                return -1;
            }
        }
        if (name == "--e-series" || name == "--match-e-series") {
            text = "E" + text;
        }
        if (is_file_option(name)) {
            // "1..." names the measured file; anything else a file of the folder.
            text = !text.empty() && text.front() == '1' ? measured.string()
                                                        : (dir / ("f" + text)).string();
            report = report || name == "--report";
        }
        args.emplace_back(name);
        args.push_back(std::move(text));
    }
    if (!report) {
        args.emplace_back("--no-report");
    }
    if (json) {
        args.emplace_back("--json");
    }

    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::run_calc(args, out, err);
    std::string words;
    for (const std::string& arg : args) {
        words += arg + " ";
    }
    FUZZ_REQUIRE(status == 0 || status == 1 || status == 2, "exit status ", std::to_string(status),
                 " for ", escaped(words));
    // An output may name the file when the run does not read it.
    bool reads_measured = false;
    for (std::size_t k = 0; k + 1 < args.size(); ++k) {
        reads_measured =
            reads_measured || (args[k] == "--touchstone" && args[k + 1] == measured.string());
    }
    FUZZ_REQUIRE(!reads_measured || file_bytes(measured) == measured_bytes(),
                 "the measured file was changed by ", escaped(words));
    if (status != 2) {
        FUZZ_REQUIRE(!not_finite_word(err.str()), "a number that is not finite: ", err.str(),
                     " for ", escaped(words));
        if (json) {
            nlohmann::json parsed;
            try {
                parsed = nlohmann::json::parse(out.str());
            } catch (const nlohmann::json::exception& error) {
                FUZZ_REQUIRE(false, "the JSON does not parse: ", error.what(), " for ",
                             escaped(words));
            }
            FUZZ_REQUIRE(strings_finite(parsed),
                         "a JSON text with a number that is not finite: ", out.str(), " for ",
                         escaped(words));
        } else {
            FUZZ_REQUIRE(!not_finite_word(out.str()), "a number that is not finite: ", out.str(),
                         " for ", escaped(words));
        }
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path() == measured) {
            continue;
        }
        FUZZ_REQUIRE(status != 2, "a usage error wrote ", entry.path().string(), " for ",
                     escaped(words));
        if (entry.is_regular_file()) {
            FUZZ_REQUIRE(!not_finite_word(file_bytes(entry.path())),
                         "a file with a number that is not finite: ", entry.path().string(),
                         " for ", escaped(words));
        }
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
    }
    return 0;
}
