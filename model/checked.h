#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace veltrane {

// Why a calculation cannot go on. The steps return it rather than throwing, so a search over many
// inputs pays nothing for the inputs that have no model; the text is made only when it is shown.
class Stop {
  public:
    // `text` must outlive the stop: the messages are literals.
    constexpr explicit Stop(std::string_view text) : text_(text) {}

    // "RL must be >" or "RL must be <" followed by the limit as the report writes numbers.
    static constexpr Stop rl_must_exceed(double limit) { return {"RL must be >", limit}; }
    static constexpr Stop rl_must_stay_below(double limit) { return {"RL must be <", limit}; }

    [[nodiscard]] std::string message() const;

  private:
    constexpr Stop(std::string_view text, double limit)
        : text_(text), limit_(limit), with_limit_(true) {}

    std::string_view text_;
    double limit_ = 0.0;
    bool with_limit_ = false;
};

// What a step gives back: nothing when the calculation goes on.
using StepOutcome = std::optional<Stop>;

// Thrown where a stop cannot be returned: by the checked arithmetic below, whose faults (an
// overflow, a division by an underflowed zero) no user can cause on purpose, and by CALCULATE's
// reading of the fields. The Calculate procedure and solve() catch it; it never leaves them.
struct CalculationStop {
    std::string message;
};

[[noreturn]] inline void stop_calculation(std::string message) {
    throw CalculationStop{std::move(message)};
}

// The message for an overflow, or a division by a number that underflowed to zero.
inline constexpr std::string_view out_of_range_message = "Out of range: please change inputs";

// A double whose every operation is checked: a division by zero or a result that is not finite
// ends the calculation. Where a fault has a cause the user can name, the calculation tests that
// operand first and says so; these checks catch the rest.
class Real {
  public:
    constexpr Real(double value) : value_(value) {} // NOLINT(google-explicit-constructor)
    [[nodiscard]] constexpr double value() const { return value_; }

    friend Real operator+(Real a, Real b) { return checked(a.value_ + b.value_); }
    friend Real operator-(Real a, Real b) { return checked(a.value_ - b.value_); }
    friend Real operator*(Real a, Real b) { return checked(a.value_ * b.value_); }
    friend Real operator/(Real a, Real b) {
        if (b.value_ == 0.0) {
            stop_calculation(std::string(out_of_range_message));
        }
        return checked(a.value_ / b.value_);
    }
    friend Real operator-(Real a) { return Real(-a.value_); }

  private:
    static Real checked(double value) {
        if (!std::isfinite(value)) {
            stop_calculation(std::string(out_of_range_message));
        }
        return Real(value);
    }
    double value_;
};

// The square root of a value the calculation has not tested itself.
inline Real square_root(Real x) {
    if (x.value() < 0.0) {
        stop_calculation(std::string(out_of_range_message));
    }
    return std::sqrt(x.value());
}

// Checks that name what to change, placed right before the operation they protect.
[[nodiscard]] constexpr StepOutcome require_nonzero(double divisor, std::string_view message) {
    if (divisor == 0.0) {
        return Stop(message);
    }
    return std::nullopt;
}

[[nodiscard]] constexpr StepOutcome require_not_negative(double argument,
                                                         std::string_view message) {
    if (argument < 0.0) {
        return Stop(message);
    }
    return std::nullopt;
}

} // namespace veltrane
