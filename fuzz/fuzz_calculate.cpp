// Fuzz target: the whole CALCULATE command on arbitrary field texts and option choices.
//
// Input layout: the first byte chooses the option buttons (its value modulo 27, read as three
// base-3 digits for the F1 crossover, F2 crossover and topology pairs: 0 none, 1 first button,
// 2 second button); the rest is split at '|' into the seven input texts in window order F1, R1,
// X1, F2, R2, X2, RL. Missing texts keep the window's default text.

#include "check.h"
#include "format/text_number.h"
#include "model/field_set.h"
#include "output/calculate.h"
#include "output/report.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace veltrane;
using namespace veltrane::fuzzref;

namespace {

constexpr std::array<Field, 7> window_order = {Field::F1, Field::R1, Field::X1, Field::F2,
                                               Field::R2, Field::X2, Field::RL};
constexpr std::array<std::array<Option, 2>, 3> pairs = {{
    {Option::F1Ind, Option::F1Cap},
    {Option::F2Ind, Option::F2Cap},
    {Option::ParSer, Option::SerPar},
}};

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "inf" or "nan" in any case, not inside a word ("resonance" is fine, "-inf" and "1.#INF" are not).
bool contains_non_finite(std::string_view text) {
    std::string lower;
    for (const char c : text) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const std::string_view word : {"inf", "nan"}) {
        for (auto at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
            if (at == 0 || !is_letter(lower[at - 1])) {
                return true;
            }
        }
    }
    return false;
}

bool is_printable(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

bool is_digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// [-] integer digits (at least min_integer) "." exactly `decimals` digits.
bool is_number(std::string_view text, std::size_t min_integer, std::size_t decimals) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    if (point == std::string_view::npos) {
        return false;
    }
    const auto integer = text.substr(0, point);
    const auto fraction = text.substr(point + 1);
    return integer.size() >= min_integer && fraction.size() == decimals && is_digits(integer) &&
           is_digits(fraction);
}

bool is_field_number(Field field, std::string_view text) {
    switch (field) {
    case Field::FL:
    case Field::FH:
    case Field::F0:
        return is_number(text, 0, 2);
    default:
        return is_number(text, 1, 3);
    }
}

// A report number: [-] three blanks, at least one integer digit, ".", one decimal.
bool is_report_number(std::string_view text) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    return text.starts_with("   ") && is_number(text.substr(3), 1, 1);
}

struct Snapshot {
    Outcome outcome;
    std::array<std::string, field_count> texts;
    std::array<bool, option_count> options;
    bool message_visible;
    bool report_written;
    std::string report;
};

Snapshot run(MemoryFieldSet& fields) {
    MemoryReport report;
    Snapshot shot{};
    shot.outcome = calculate(fields, report);
    for (std::size_t i = 0; i < field_count; ++i) {
        shot.texts[i] = fields.text(static_cast<Field>(i));
    }
    for (std::size_t i = 0; i < option_count; ++i) {
        shot.options[i] = fields.is_selected(static_cast<Option>(i));
    }
    shot.message_visible = fields.is_message_visible();
    shot.report_written = report.written();
    shot.report = report.bytes();
    return shot;
}

std::string describe_fields(const Snapshot& shot) {
    std::string text;
    for (std::size_t i = 0; i < field_count; ++i) {
        text += "\n  ";
        text += field_name(static_cast<Field>(i));
        text += " = ";
        text += escaped(shot.texts[i]);
    }
    text += "\n  report = ";
    text += escaped(shot.report);
    return text;
}

void check_report(const Snapshot& shot, const std::string& context) {
    const std::string_view bytes = shot.report;
    int lines = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        FUZZ_REQUIRE(end != std::string_view::npos, "report line without CR LF", context);
        const auto line = bytes.substr(start, end - start);
        FUZZ_REQUIRE(is_printable(line), "report line not printable: ", escaped(line), context);
        ++lines;
        start = end + 2;
    }
    FUZZ_REQUIRE(lines == 18, "report has ", std::to_string(lines), " lines", context);
    FUZZ_REQUIRE(!contains_non_finite(bytes), "report shows a non-finite number", context);
}

void check(std::string_view input) {
    MemoryFieldSet fields;
    std::array<int, 3> choices{};
    if (!input.empty()) {
        int code = static_cast<unsigned char>(input.front()) % 27;
        for (auto& choice : choices) {
            choice = code % 3;
            code /= 3;
        }
        input.remove_prefix(1);
    }
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        if (choices[p] != 0) {
            fields.select(pairs[p][static_cast<std::size_t>(choices[p] - 1)]);
        }
    }
    for (const Field field : window_order) {
        if (input.empty()) {
            break;
        }
        const auto bar = input.find('|');
        fields.set_text(field, input.substr(0, bar));
        input.remove_prefix(bar == std::string_view::npos ? input.size() : bar + 1);
    }

    std::array<std::string, 7> inputs;
    for (std::size_t i = 0; i < window_order.size(); ++i) {
        inputs[i] = fields.text(window_order[i]);
    }
    std::array<bool, option_count> options{};
    for (std::size_t i = 0; i < option_count; ++i) {
        options[i] = fields.is_selected(static_cast<Option>(i));
    }

    const Snapshot first = run(fields);
    std::string context = "\n inputs:";
    for (std::size_t i = 0; i < window_order.size(); ++i) {
        context += ' ';
        context += field_name(window_order[i]);
        context += '=';
        context += escaped(inputs[i]);
    }
    context += "\n options:";
    for (std::size_t i = 0; i < option_count; ++i) {
        if (options[i]) {
            context += ' ';
            context += option_name(static_cast<Option>(i));
        }
    }
    context += describe_fields(first);

    // The calculation never writes an input field or an option button.
    for (std::size_t i = 0; i < window_order.size(); ++i) {
        FUZZ_REQUIRE(first.texts[static_cast<std::size_t>(window_order[i])] == inputs[i],
                     "input field changed: ", field_name(window_order[i]), context);
    }
    FUZZ_REQUIRE(first.options == options, "option buttons changed", context);

    const std::string& message = first.texts[static_cast<std::size_t>(Field::Message)];
    switch (first.outcome) {
    case Outcome::Message: {
        FUZZ_REQUIRE(first.message_visible, "message outcome with the message field hidden",
                     context);
        FUZZ_REQUIRE(!message.empty() && is_printable(message) && !contains_non_finite(message),
                     "bad message text", context);
        for (const Field field : result_fields) {
            FUZZ_REQUIRE(first.texts[static_cast<std::size_t>(field)] == "     ",
                         "result field not cleared after a message: ", field_name(field), context);
        }
        FUZZ_REQUIRE(!first.report_written, "report written with a message", context);
        for (const std::string_view prefix : {"RL must be >", "RL must be <"}) {
            if (message.starts_with(prefix)) {
                FUZZ_REQUIRE(is_report_number(std::string_view{message}.substr(prefix.size())),
                             "RL message with a bad number", context);
            }
        }
        break;
    }
    case Outcome::Results:
        FUZZ_REQUIRE(!first.message_visible, "results with the message field visible", context);
        for (const Field field : result_fields) {
            const std::string& text = first.texts[static_cast<std::size_t>(field)];
            FUZZ_REQUIRE(is_field_number(field, text),
                         "result field is not a number: ", field_name(field), context);
        }
        FUZZ_REQUIRE(first.report_written, "results without a report", context);
        check_report(first, context);
        break;
    case Outcome::ReportFailed:
        fail({"the in-memory report cannot fail", context});
    }

    // The option checks come first and in a fixed order, whatever the inputs hold.
    if (choices[0] == 0) {
        FUZZ_REQUIRE(message == "Please F1 crossover", "expected \"Please F1 crossover\"", context);
    } else if (choices[1] == 0) {
        FUZZ_REQUIRE(message == "Please F2 crossover", "expected \"Please F2 crossover\"", context);
    } else if (choices[2] == 0) {
        FUZZ_REQUIRE(message == "Please select topology", "expected \"Please select topology\"",
                     context);
    }

    // Nothing survives from one calculation to the next but the field texts: running again on
    // the filled window gives the same window and the same report.
    const Snapshot second = run(fields);
    FUZZ_REQUIRE(second.outcome == first.outcome && second.texts == first.texts &&
                     second.message_visible == first.message_visible &&
                     second.report_written == first.report_written && second.report == first.report,
                 "a second calculation differs", context,
                 "\n second run:", describe_fields(second));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    check(std::string_view{reinterpret_cast<const char*>(bytes), size});
    return 0;
}
