#include "match/parts.h"

#include "io/path_text.h"
#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace veltrane::match {

namespace {

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(trimmed(line.substr(start, comma - start)));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool finite(Complex z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

// The part's value in nH or pF from its value and unit, or the message.
std::variant<double, std::string> nominal(Kind kind, std::string_view value,
                                          std::string_view unit) {
    const auto number = rf::read_number(value);
    if (!number || !(*number > 0)) {
        return "value \"" + std::string{value} + "\" is not a positive number";
    }
    const bool inductor = kind == Kind::L;
    if (unit == (inductor ? "nH" : "pF")) {
        return *number;
    }
    if (unit == (inductor ? "uH" : "nF")) {
        if (!std::isfinite(*number * 1000)) {
            return "value \"" + std::string{value} + "\" " + std::string{unit} + " is too large";
        }
        return *number * 1000;
    }
    return "unit \"" + std::string{unit} + "\" is not " + (inductor ? "nH or uH" : "pF or nF");
}

} // namespace

Complex PartLibrary::impedance(int part, double f_ghz) const {
    return load_at(parts[static_cast<std::size_t>(part)].z, f_ghz);
}

std::optional<std::string> PartLibrary::uncovered(double fl_ghz, double fh_ghz) const {
    for (const Part& part : parts) {
        if (part.z.f_ghz.empty() || part.z.f_ghz.front() > fl_ghz || part.z.f_ghz.back() < fh_ghz) {
            return part.file + " does not cover the band " + rf::readable(fl_ghz) + " to " +
                   rf::readable(fh_ghz) + " GHz" +
                   (part.z.f_ghz.empty()
                        ? std::string{}
                        : " (it holds " + rf::readable(part.z.f_ghz.front()) + " to " +
                              rf::readable(part.z.f_ghz.back()) + " GHz)");
        }
    }
    return std::nullopt;
}

std::variant<Load, std::string> series_impedance(const rf::Network& network) {
    if (network.ports != 2) {
        return network.source + " has " + std::to_string(network.ports) +
               (network.ports == 1 ? " port" : " ports") + ", not 2";
    }
    Load load;
    for (std::size_t i = 0; i < network.f_ghz.size(); ++i) {
        const Complex n11 = network.at(i, 1, 1), n12 = network.at(i, 1, 2);
        const Complex n21 = network.at(i, 2, 1), n22 = network.at(i, 2, 2);
        Complex z;
        switch (network.parameter) {
        case rf::Parameter::S: {
            const double r = std::sqrt(network.reference_ohm[0] * network.reference_ohm[1]);
            z = r * ((1.0 + n11) * (1.0 + n22) - n12 * n21) / (2.0 * n21);
            break;
        }
        case rf::Parameter::Y:
            z = -1.0 / n21;
            break;
        case rf::Parameter::Z:
            z = (n11 * n22 - n12 * n21) / n21;
            break;
        }
        if (network.f_ghz[i] <= 0) {
            continue; // a DC point: a capacitor passes nothing there
        }
        if (!finite(z)) {
            const std::size_t line = i < network.lines.size() ? network.lines[i] : 0;
            return network.source + " line " + std::to_string(line) +
                   ": no series impedance (nothing passes)";
        }
        load.f_ghz.push_back(network.f_ghz[i]);
        load.z_ohm.push_back(z);
    }
    if (load.f_ghz.empty()) {
        return network.source + ": no frequencies";
    }
    return load;
}

std::variant<PartLibrary, std::string> read_parts(const std::string& folder) {
    const std::filesystem::path base = path_from_utf8(folder);
    const std::string csv = path_to_utf8(base / "parts.csv");
    std::ifstream in(base / "parts.csv", std::ios::binary);
    if (!in) {
        return "Cannot read " + csv + ": no such file or it cannot be opened";
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    PartLibrary library;
    library.folder = folder;
    std::size_t number = 0;
    bool header = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view line{text.data() + start, end - start};
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (trimmed(line).empty()) {
            continue;
        }
        const std::string at = csv + " line " + std::to_string(number) + ": ";
        const std::vector<std::string_view> fields = split(line);
        if (!header) {
            if (fields.size() < 4 || fields[0] != "kind" || fields[1] != "value" ||
                fields[2] != "unit" || fields[3] != "file") {
                return at + "the first line must be kind,value,unit,file[,package]";
            }
            header = true;
            continue;
        }
        if (fields.size() < 4 || fields.size() > 5 || fields[3].empty()) {
            return at + "not kind,value,unit,file[,package]";
        }
        Part part;
        if (fields[0] == "L" || fields[0] == "C") {
            part.kind = fields[0] == "L" ? Kind::L : Kind::C;
        } else {
            return at + "kind \"" + std::string{fields[0]} + "\" is not L or C";
        }
        auto value = nominal(part.kind, fields[1], fields[2]);
        if (const std::string* problem = std::get_if<std::string>(&value)) {
            return at + *problem;
        }
        part.value = std::get<double>(value);
        part.file = std::string{fields[3]};
        part.package = fields.size() == 5 ? std::string{fields[4]} : std::string{};
        auto network = rf::read_touchstone_file(path_to_utf8(base / path_from_utf8(part.file)));
        if (const std::string* problem = std::get_if<std::string>(&network)) {
            return at + *problem;
        }
        auto z = series_impedance(std::get<rf::Network>(network));
        if (const std::string* problem = std::get_if<std::string>(&z)) {
            return at + *problem;
        }
        part.z = std::get<Load>(std::move(z));
        library.parts.push_back(std::move(part));
    }
    if (library.parts.empty()) {
        return csv + ": no parts";
    }
    return library;
}

Complex equivalent_impedance(Kind kind, const PartEquivalent& e, double f_ghz) {
    const double w = 2 * std::numbers::pi * f_ghz; // with nH and pF: ohm and siemens * 1000
    if (kind == Kind::L) {
        const Complex z{e.r_ohm, w * e.l_nh};
        return z / (1.0 + Complex{0, w * e.c_pf / 1000} * z);
    }
    return Complex{e.r_ohm, w * e.l_nh} + 1.0 / Complex{0, w * e.c_pf / 1000};
}

PartEquivalent fit_equivalent(const PartLibrary& library, int part, double fl_ghz, double fh_ghz) {
    const Part& p = library.parts[static_cast<std::size_t>(part)];
    constexpr int n = 101;
    std::vector<double> f(n);
    std::vector<Complex> z(n);
    for (int i = 0; i < n; ++i) {
        f[i] = fl_ghz + (fh_ghz - fl_ghz) * i / (n - 1);
        z[i] = library.impedance(part, f[i]);
    }
    const auto worst_error = [&](const PartEquivalent& e) {
        double worst = 0.0;
        for (int i = 0; i < n; ++i) {
            const double error = std::abs(equivalent_impedance(p.kind, e, f[i]) - z[i]) /
                                 std::max(std::abs(z[i]), 1e-300);
            worst = std::max(worst, std::isfinite(error) ? error : HUGE_VAL);
        }
        return worst;
    };
    // R + jwL + b/(jw) with b = 1/C: least squares of the imaginary part in w and -1/w.
    const auto series_fit = [&](const std::vector<Complex>& zs, bool with_c) {
        double saa = 0, sab = 0, sbb = 0, sax = 0, sbx = 0, r = 0;
        for (int i = 0; i < n; ++i) {
            const double w = 2 * std::numbers::pi * f[i];
            const double a = w, b = -1 / w;
            saa += a * a;
            sab += a * b;
            sbb += b * b;
            sax += a * zs[i].imag();
            sbx += b * zs[i].imag();
            r += zs[i].real() / n;
        }
        PartEquivalent e;
        e.r_ohm = r;
        if (with_c) {
            const double det = saa * sbb - sab * sab;
            e.l_nh = (sax * sbb - sbx * sab) / det;
            e.c_pf = 1000 / ((saa * sbx - sab * sax) / det);
        } else {
            e.l_nh = sax / saa;
        }
        return e;
    };
    // No negative element: one the data cannot tell from nothing is left out.
    const auto physical = [&](PartEquivalent e) {
        e.r_ohm = std::max(e.r_ohm, 0.0);
        e.l_nh = std::max(e.l_nh, 0.0);
        e.worst_error = worst_error(e);
        return e;
    };
    if (p.kind == Kind::C) {
        return physical(series_fit(z, true));
    }
    // The inductor: for each parallel C, what is left, 1 / (1/Z - jwC), is R + jwL.
    const auto with_parallel = [&](double c_pf) {
        std::vector<Complex> left(n);
        for (int i = 0; i < n; ++i) {
            left[i] = 1.0 / (1.0 / z[i] - Complex{0, 2 * std::numbers::pi * f[i] * c_pf / 1000});
        }
        PartEquivalent e = series_fit(left, false);
        e.c_pf = c_pf;
        return physical(e);
    };
    PartEquivalent best = with_parallel(0.0);
    // 1e-4 to 100 pF in steps of 1.5 %, then halving steps around the best.
    double log_c = 0;
    for (double x = -4; x <= 2; x += 0.0066) {
        if (PartEquivalent e = with_parallel(std::pow(10.0, x)); e.worst_error < best.worst_error) {
            best = e;
            log_c = x;
        }
    }
    for (double step = 0.0033; step > 1e-7 && best.c_pf > 0; step /= 2) {
        for (double x : {log_c - step, log_c + step}) {
            if (PartEquivalent e = with_parallel(std::pow(10.0, x));
                e.worst_error < best.worst_error) {
                best = e;
                log_c = x;
            }
        }
    }
    return best;
}

std::vector<int> parts_of(const PartLibrary& library, Kind kind) {
    std::vector<int> out;
    for (std::size_t k = 0; k < library.parts.size(); ++k) {
        if (library.parts[k].kind == kind) {
            out.push_back(static_cast<int>(k));
        }
    }
    std::stable_sort(out.begin(), out.end(), [&library](int a, int b) {
        return library.parts[static_cast<std::size_t>(a)].value <
               library.parts[static_cast<std::size_t>(b)].value;
    });
    return out;
}

namespace {

// For each element of `design`, the parts tried: the one of nearest nominal value first, then
// those part_steps_each_side either side of it; none without a library or a part of some kind.
std::optional<std::vector<std::vector<int>>> part_choices(const Design& design,
                                                          const DesignInput& input) {
    if (!input.losses.parts || design.ladder.empty() || input.load.f_ghz.empty()) {
        return std::nullopt;
    }
    const PartLibrary& library = *input.losses.parts;
    const std::size_t n = design.ladder.size();
    std::vector<std::vector<int>> choices(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Element& e = design.ladder[k];
        std::vector<int> allowed = parts_of(library, e.kind);
        std::erase_if(allowed, [&](int p) {
            const double v = library.parts[static_cast<std::size_t>(p)].value;
            return input.constraints.clamped(e.kind, v) != v;
        });
        if (allowed.empty()) {
            return std::nullopt;
        }
        const auto distance = [&](int p) {
            return std::fabs(std::log(library.parts[static_cast<std::size_t>(p)].value / e.value));
        };
        const auto nearest = std::min_element(allowed.begin(), allowed.end(), [&](int a, int b) {
            return distance(a) < distance(b);
        });
        const auto at = nearest - allowed.begin();
        const auto lo = std::max<std::ptrdiff_t>(0, at - part_steps_each_side);
        const auto hi = std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(allowed.size()),
                                                 at + part_steps_each_side + 1);
        // The nearest first: it is what every other choice must beat.
        choices[k].push_back(*nearest);
        for (auto i = lo; i < hi; ++i) {
            if (i != at) {
                choices[k].push_back(allowed[static_cast<std::size_t>(i)]);
            }
        }
    }
    return choices;
}

} // namespace

std::optional<Design> nearest_parts(const Design& design, const DesignInput& input) {
    const auto choices = part_choices(design, input);
    if (!choices) {
        return std::nullopt;
    }
    Ladder ladder = design.ladder;
    for (std::size_t k = 0; k < ladder.size(); ++k) {
        ladder[k].part = (*choices)[k].front();
        ladder[k].value = input.losses.parts->parts[static_cast<std::size_t>(ladder[k].part)].value;
    }
    return Design{ladder, evaluate(ladder, input.load, input.source_ohm, input.losses),
                  design.size};
}

std::optional<Design> parts_network(const Design& design, const DesignInput& input) {
    const auto found = part_choices(design, input);
    if (!found) {
        return std::nullopt;
    }
    const std::vector<std::vector<int>>& choices = *found;
    const PartLibrary& library = *input.losses.parts;
    const std::size_t n = design.ladder.size();
    Ladder ladder = design.ladder;
    const auto score = [&](const std::vector<int>& picked) {
        for (std::size_t k = 0; k < n; ++k) {
            ladder[k].part = picked[k];
            ladder[k].value = library.parts[static_cast<std::size_t>(picked[k])].value;
        }
        const Figures f = evaluate(ladder, input.load, input.source_ohm, input.losses);
        return input.aim == DesignAim::Gain ? -f.gain_db : f.worst_gamma;
    };
    std::vector<int> best_parts(n);
    for (std::size_t k = 0; k < n; ++k) {
        best_parts[k] = choices[k].front();
    }
    double best = score(best_parts);
    std::size_t combinations = 1;
    for (const auto& c : choices) {
        combinations *= c.size();
    }
    if (combinations <= 20'000) {
        std::vector<int> picked(n);
        for (std::size_t c = 1; c < combinations; ++c) {
            std::size_t rest = c;
            for (std::size_t k = 0; k < n; ++k) {
                picked[k] = choices[k][rest % choices[k].size()];
                rest /= choices[k].size();
            }
            if (const double s = score(picked); s < best) {
                best = s;
                best_parts = picked;
            }
        }
    } else {
        for (bool better = true; better;) {
            better = false;
            for (std::size_t k = 0; k < n; ++k) {
                std::vector<int> picked = best_parts;
                for (int p : choices[k]) {
                    picked[k] = p;
                    if (const double s = score(picked); s < best) {
                        best = s;
                        best_parts = picked;
                        better = true;
                    }
                }
            }
        }
    }
    for (std::size_t k = 0; k < n; ++k) {
        ladder[k].part = best_parts[k];
        ladder[k].value = library.parts[static_cast<std::size_t>(best_parts[k])].value;
    }
    return Design{ladder, evaluate(ladder, input.load, input.source_ohm, input.losses),
                  design.size};
}

} // namespace veltrane::match
