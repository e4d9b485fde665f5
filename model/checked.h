#pragma once

#include <cmath>
#include <string>
#include <string_view>
#include <utility>

namespace veltrane {

// Thrown by a calculation step that cannot go on; the Calculate procedure catches it and shows
// the message. It never leaves the procedure.
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
inline void require_nonzero(double divisor, std::string_view message) {
    if (divisor == 0.0) {
        stop_calculation(std::string(message));
    }
}

inline void require_not_negative(double argument, std::string_view message) {
    if (argument < 0.0) {
        stop_calculation(std::string(message));
    }
}

} // namespace veltrane
