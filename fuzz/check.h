#pragma once

// Failure reporting shared by the fuzz targets: print what went wrong, then abort so that
// libFuzzer saves the input as a crash reproducer.

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

namespace veltrane::fuzzref {

// A double as shortest round-trip text plus its bit pattern, for diagnostics only.
inline std::string describe(double value) {
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    std::string text(buffer, end);
    text += " (bits 0x";
    end =
        std::to_chars(buffer, buffer + sizeof buffer, std::bit_cast<std::uint64_t>(value), 16).ptr;
    text.append(buffer, end);
    text += ')';
    return text;
}

// A byte string with everything outside printable ASCII escaped as \xNN.
inline std::string escaped(std::string_view bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            text += c;
        } else {
            constexpr std::string_view hex = "0123456789ABCDEF";
            text += "\\x";
            text += hex[byte >> 4];
            text += hex[byte & 0xF];
        }
    }
    text += '"';
    return text;
}

[[noreturn]] inline void fail(std::initializer_list<std::string_view> parts) {
    std::string message = "FUZZ CHECK FAILED: ";
    for (const auto part : parts) {
        message += part;
    }
    message += '\n';
    std::fputs(message.c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

} // namespace veltrane::fuzzref

// Checks a condition; the message parts are only built when it fails.
#define FUZZ_REQUIRE(condition, ...)                                                               \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::veltrane::fuzzref::fail({__VA_ARGS__});                                              \
        }                                                                                          \
    } while (false)

namespace veltrane::fuzzref {} // namespace veltrane::fuzzref
