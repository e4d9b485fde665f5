#pragma once
// Shared by the tests: temporary folders, file bytes, a closeness check that prints both values,
// and the worked example of the calculator.

#include "model/field_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace veltrane::testing {

// A fresh, empty folder under the system's temporary folder, removed with everything in it when
// the object goes out of scope (also when an assertion failed).
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("veltrane-test-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) {
                break;
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const {
        return path_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    }

  private:
    std::filesystem::path path_;
};

// The whole content of a file, byte for byte; empty when it cannot be read.
inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// EXPECT_PRED_FORMAT3(near_relative, actual, expected, relative): |actual - expected| within
// relative * |expected| (or within `relative` when expected is 0), printing both values in full.
inline ::testing::AssertionResult near_relative(const char* actual_text, const char* expected_text,
                                                const char* /*relative_text*/, double actual,
                                                double expected, double relative) {
    const double scale = expected == 0.0 ? 1.0 : std::abs(expected);
    if (std::abs(actual - expected) <= relative * scale) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream text;
    text.precision(17);
    text << actual_text << " = " << actual << " is not within " << relative << " (relative) of "
         << expected_text << " = " << expected;
    return ::testing::AssertionFailure() << text.str();
}

// A GoogleTest name for a row that has no name of its own but a short text: letters and digits
// stay, every other character becomes a readable escape ("2.5 GHz" -> "2_p5_sGHz"), so that two
// texts never share a name. Long texts keep their start and their length.
inline std::string readable_name(std::string_view text) {
    if (text.empty()) {
        return "empty";
    }
    constexpr std::pair<char, char> escapes[] = {{'.', 'p'},  {'-', 'm'},  {'+', 'P'},  {' ', 's'},
                                                 {'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}, {',', 'c'},
                                                 {'&', 'a'},  {'_', 'u'}};
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string name;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) {
            name += ch;
        } else if (const auto* e = std::ranges::find(escapes, ch, &std::pair<char, char>::first);
                   e != std::end(escapes)) {
            name += {'_', e->second};
        } else {
            name += {'_', 'x', hex[byte / 16], hex[byte % 16]};
        }
    }
    constexpr std::size_t longest = 40;
    if (name.size() > longest) {
        name = name.substr(0, longest) + "_len" + std::to_string(text.size());
    }
    return name;
}

// A calculator window in memory with some texts typed and some options clicked.
inline MemoryFieldSet window(std::initializer_list<std::pair<Field, std::string>> texts,
                             std::initializer_list<Option> options) {
    MemoryFieldSet fields;
    for (const auto& [field, text] : texts) {
        fields.set_text(field, text);
    }
    for (Option option : options) {
        fields.select(option);
    }
    return fields;
}

// The worked example: the window's default texts with RL 2.0, F1 Inductive, F2 Capacitive and
// Parallel/Series. Its results, as the window shows them.
inline MemoryFieldSet worked_example() {
    return window({{Field::RL, "2.0"}}, {Option::F1Ind, Option::F2Cap, Option::ParSer});
}
inline constexpr std::string_view worked_example_Ls = "0.159";
inline constexpr std::string_view worked_example_F0 = "1438.04";
inline constexpr std::string_view worked_example_FL = "1000.00";
inline constexpr std::string_view worked_example_FH = "2067.97";
inline constexpr std::string_view worked_example_Q0 = "1.347";

} // namespace veltrane::testing
