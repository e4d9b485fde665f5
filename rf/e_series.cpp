#include "rf/e_series.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

namespace veltrane::rf {

namespace {

// IEC 60063, one decade each in hundredths. E24 as published (its 2.7 ... 4.7 and 8.2 do not
// follow the rounding rule); E12 and E6 are every second and every fourth E24 value.
constexpr std::array<int, 24> e24 = {100, 110, 120, 130, 150, 160, 180, 200, 220, 240, 270, 300,
                                     330, 360, 390, 430, 470, 510, 560, 620, 680, 750, 820, 910};

// E192 as published (9.20 where the rounding rule gives 9.19); E96 and E48 are every second and
// every fourth E192 value.
constexpr std::array<int, 192> e192 = {
    100, 101, 102, 104, 105, 106, 107, 109, 110, 111, 113, 114, 115, 117, 118, 120, 121, 123,
    124, 126, 127, 129, 130, 132, 133, 135, 137, 138, 140, 142, 143, 145, 147, 149, 150, 152,
    154, 156, 158, 160, 162, 164, 165, 167, 169, 172, 174, 176, 178, 180, 182, 184, 187, 189,
    191, 193, 196, 198, 200, 203, 205, 208, 210, 213, 215, 218, 221, 223, 226, 229, 232, 234,
    237, 240, 243, 246, 249, 252, 255, 258, 261, 264, 267, 271, 274, 277, 280, 284, 287, 291,
    294, 298, 301, 305, 309, 312, 316, 320, 324, 328, 332, 336, 340, 344, 348, 352, 357, 361,
    365, 370, 374, 379, 383, 388, 392, 397, 402, 407, 412, 417, 422, 427, 432, 437, 442, 448,
    453, 459, 464, 470, 475, 481, 487, 493, 499, 505, 511, 517, 523, 530, 536, 542, 549, 556,
    562, 569, 576, 583, 590, 597, 604, 612, 619, 626, 634, 642, 649, 657, 665, 673, 681, 690,
    698, 706, 715, 723, 732, 741, 750, 759, 768, 777, 787, 796, 806, 816, 825, 835, 845, 856,
    866, 876, 887, 898, 909, 920, 931, 942, 953, 965, 976, 988};

template <std::size_t N, std::size_t M>
constexpr std::array<int, N / M> every(const std::array<int, N>& values) {
    std::array<int, N / M> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = values[i * M];
    }
    return out;
}

constexpr auto e12 = every<24, 2>(e24);
constexpr auto e6 = every<24, 4>(e24);
constexpr auto e96 = every<192, 2>(e192);
constexpr auto e48 = every<192, 4>(e192);

struct SeriesName {
    ESeries series;
    std::string_view name;
};

constexpr std::array<SeriesName, 6> names = {{{ESeries::E6, "E6"},
                                              {ESeries::E12, "E12"},
                                              {ESeries::E24, "E24"},
                                              {ESeries::E48, "E48"},
                                              {ESeries::E96, "E96"},
                                              {ESeries::E192, "E192"}}};

// hundredths * 10^(exponent - 2) as the double nearest to that decimal number, or nothing when
// it lies beyond the double range.
std::optional<double> decimal_value(int hundredths, int exponent) {
    const std::string text = std::to_string(hundredths) + "e" + std::to_string(exponent - 2);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || !std::isfinite(value) || value == 0.0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string_view e_series_name(ESeries series) {
    for (const SeriesName& entry : names) {
        if (entry.series == series) {
            return entry.name;
        }
    }
    return {};
}

std::optional<ESeries> e_series_from_name(std::string_view name) {
    for (const SeriesName& entry : names) {
        if (entry.name == name) {
            return entry.series;
        }
    }
    return std::nullopt;
}

std::span<const int> e_series_decade(ESeries series) {
    switch (series) {
    case ESeries::E6:
        return e6;
    case ESeries::E12:
        return e12;
    case ESeries::E24:
        return e24;
    case ESeries::E48:
        return e48;
    case ESeries::E96:
        return e96;
    case ESeries::E192:
        return e192;
    }
    return e24;
}

double nearest_standard_value(double value, ESeries series) {
    if (value == 0.0 || !std::isfinite(value)) {
        return value;
    }
    const double magnitude = std::fabs(value);
    const double l = std::log10(magnitude);
    const int decade = static_cast<int>(std::floor(l));
    // Candidates in the decade below, this one and the one above, compared by |log ratio|; the
    // neighbouring decades cover a log10 that rounded across a decade edge and values that round
    // up to the next decade's 1.0.
    double best = value;
    double best_distance = std::numeric_limits<double>::infinity();
    for (int exponent = decade - 1; exponent <= decade + 1; ++exponent) {
        for (int hundredths : e_series_decade(series)) {
            const double distance =
                std::fabs(l - (exponent + std::log10(static_cast<double>(hundredths) / 100)));
            if (distance < best_distance) {
                if (const auto candidate = decimal_value(hundredths, exponent)) {
                    best_distance = distance;
                    best = *candidate;
                }
            }
        }
    }
    return value < 0 ? -best : best;
}

LumpedModel standard_model(const LumpedModel& exact, ESeries series) {
    LumpedModel m = exact;
    m.ls_nh = nearest_standard_value(exact.ls_nh, series);
    m.cs_pf = nearest_standard_value(exact.cs_pf, series);
    m.lp_nh = nearest_standard_value(exact.lp_nh, series);
    m.cp_pf = nearest_standard_value(exact.cp_pf, series);
    return m;
}

} // namespace veltrane::rf
