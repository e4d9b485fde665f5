#include "views/people_text.h"

#include "rf/numbers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace veltrane::views {

std::string_view minus_sign(Typography style) {
    return style == Typography::Ascii ? "-" : "\u2212";
}

std::string_view ohm_unit(Typography style) {
    return style == Typography::Ascii ? "ohm" : "\u03a9";
}

std::string people_number(double value, int digits) {
    return std::isfinite(value) ? rf::readable(value, digits) : "-";
}

std::string complex_text(rf::Complex z, Typography style, int digits) {
    const double x = z.imag();
    std::string out = people_number(z.real(), digits);
    if (std::signbit(x)) {
        out += ' ';
        out += minus_sign(style);
        out += " j";
    } else {
        out += " + j";
    }
    return out + people_number(std::fabs(x), digits);
}

std::string impedance_text(rf::Complex z, Typography style, int digits) {
    return complex_text(z, style, digits) + " " + std::string(ohm_unit(style));
}

std::string si_text(double value, std::string_view unit, Typography style, int digits) {
    if (!std::isfinite(value)) {
        return "-";
    }
    if (value == 0) {
        return "0 " + std::string(unit);
    }
    constexpr std::array<std::string_view, 9> prefixes = {"f", "p", "n", "\u00b5", "m",
                                                          "",  "k", "M", "G"};
    constexpr int lowest = -15;
    constexpr int highest = 9;
    int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3)) * 3;
    exponent = std::max(lowest, std::min(highest, exponent));
    double mantissa = value / std::pow(10.0, exponent);
    // Rounded to the digits shown, 999.96 reads as 1000: the next prefix then.
    if (const auto shown = rf::read_number(rf::readable(mantissa, digits));
        shown && std::fabs(*shown) >= 1000 && exponent < highest) {
        exponent += 3;
        mantissa = value / std::pow(10.0, exponent);
    }
    std::string_view prefix = prefixes[static_cast<std::size_t>((exponent - lowest) / 3)];
    if (prefix == "\u00b5" && style == Typography::Ascii) {
        prefix = "u";
    }
    return rf::readable(mantissa, digits) + " " + std::string(prefix) + std::string(unit);
}

std::string ascii_text(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 12> plain = {{
        {"\u0394\u0393", "dGamma"},
        {"\u2212", "-"},
        {"\u03a9", "ohm"},
        {"\u0393", "Gamma"},
        {"\u0394", "d"},
        {"\u2265", ">="},
        {"\u2264", "<="},
        {"\u00b7", "-"},
        {"\u2014", "-"},
        {"\u2026", "..."},
        {"\u00b5", "u"},
        {"\u00b0", " deg"},
    }};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += text[i++];
            continue;
        }
        bool found = false;
        for (const auto& [sign, word] : plain) {
            if (text.substr(i, sign.size()) == sign) {
                out += word;
                i += sign.size();
                found = true;
                break;
            }
        }
        if (!found) {
            // One character of UTF-8: its lead byte and the continuation bytes after it.
            out += '?';
            ++i;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
                ++i;
            }
        }
    }
    return out;
}

} // namespace veltrane::views
