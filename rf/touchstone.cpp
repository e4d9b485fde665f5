#include "rf/touchstone.h"

#include "rf/numbers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veltrane::rf {

namespace {

using Complex = std::complex<double>;

// A fault in the file: where and what. Thrown inside the reader only, caught at its entry.
struct BadFile {
    std::size_t line;
    std::string what;
};

enum class Format { RI, MA, DB };
enum class MatrixFormat { Full, Lower, Upper };
enum class Section { Header, Network, Noise, Information, End };

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == y; });
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The next blank-separated word of `rest`, removed from it; empty at the end.
std::string_view next_word(std::string_view& rest) {
    std::size_t begin = 0;
    while (begin < rest.size() && is_blank(rest[begin])) {
        ++begin;
    }
    std::size_t end = begin;
    while (end < rest.size() && !is_blank(rest[end])) {
        ++end;
    }
    const std::string_view word = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return word;
}

// Words from the file are quoted in messages; keep a long or binary one short and printable.
std::string quoted(std::string_view word) {
    std::string text = "\"";
    for (const char c : word.substr(0, 24)) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    text += word.size() > 24 ? "...\"" : "\"";
    return text;
}

// "1 number", "2 numbers"; "frequency" becomes "frequencies".
std::string count_text(std::size_t n, std::string_view noun) {
    std::string text = std::to_string(n) + " " + std::string{noun};
    if (n != 1) {
        if (text.ends_with('y')) {
            text.back() = 'i';
            text += 'e';
        }
        text += 's';
    }
    return text;
}

// Whether a decimal number as from_chars reads it (no sign) is below 1 in magnitude: the place of
// its first significant digit plus its exponent is negative. Only asked of a number out of range.
bool below_one(std::string_view digits) {
    const std::size_t e = digits.find_first_of("eE");
    const std::string_view mantissa = digits.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view text = digits.substr(e + 1);
        const bool negative = text.starts_with('-');
        if (negative || text.starts_with('+')) {
            text.remove_prefix(1);
        }
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), exponent);
        if (error == std::errc::result_out_of_range) {
            exponent = std::numeric_limits<long long>::max() / 2; // far beyond any double
        }
        exponent = negative ? -exponent : exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) {
        return true; // zero
    }
    // "123.4" has its first digit at place 2, "0.001" at place -3.
    const long long place = first < point ? static_cast<long long>(point - first) - 1
                                          : -static_cast<long long>(first - point);
    return place + exponent < 0;
}

// A decimal number as Touchstone writes it: optional sign, digits with an optional point and
// exponent. Nothing else (no "inf", "nan" or hexadecimal), and it must be finite; one below the
// smallest double reads as zero of its sign.
std::optional<double> number_in(std::string_view word, std::size_t line) {
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    const std::size_t first = !digits.empty() && digits.front() == '-' ? 1 : 0;
    if (digits.size() <= first ||
        !((digits[first] >= '0' && digits[first] <= '9') || digits[first] == '.')) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (end != digits.data() + digits.size() || error == std::errc::invalid_argument) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range && below_one(digits.substr(first))) {
        return first == 1 ? -0.0 : 0.0;
    }
    if (error != std::errc{} || !std::isfinite(value)) {
        throw BadFile{line, "number out of range: " + quoted(word)};
    }
    return value;
}

double number(std::string_view word, std::size_t line) {
    if (const auto value = number_in(word, line)) {
        return *value;
    }
    throw BadFile{line, "expected a number, found " + quoted(word)};
}

long long whole_number(std::string_view word, std::size_t line, std::string_view what) {
    long long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc{} || end != word.data() + word.size()) {
        throw BadFile{line, std::string{what} + " needs a whole number, found " + quoted(word)};
    }
    return value;
}

// The port count a version 1 file's name gives: ".s<N>p" in any case. 0 for ".ts", -1 for
// anything else.
int ports_from_name(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return -1;
    }
    const std::string_view extension = name.substr(dot + 1);
    if (same_word(extension, "ts")) {
        return 0;
    }
    if (extension.size() < 3 || extension.size() > 4 || lower(extension.front()) != 's' ||
        lower(extension.back()) != 'p') {
        return -1;
    }
    const std::string_view digits = extension.substr(1, extension.size() - 2);
    int ports = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), ports);
    if (error != std::errc{} || end != digits.data() + digits.size() || ports < 1) {
        return -1;
    }
    return ports;
}

// The words of the option line and what each sets.
struct UnitWord {
    std::string_view word;
    double per_ghz; // file frequency / per_ghz = GHz
};
constexpr std::array<UnitWord, 4> unit_words = {
    {{"hz", 1e9}, {"khz", 1e6}, {"mhz", 1e3}, {"ghz", 1.0}}};

struct ParameterWord {
    std::string_view word;
    std::optional<Parameter> parameter; // none: refused
};
constexpr std::array<ParameterWord, 5> parameter_words = {
    {{"s", Parameter::S}, {"y", Parameter::Y}, {"z", Parameter::Z}, {"g", {}}, {"h", {}}}};

struct FormatWord {
    std::string_view word;
    Format format;
};
constexpr std::array<FormatWord, 3> format_words = {
    {{"ri", Format::RI}, {"ma", Format::MA}, {"db", Format::DB}}};

template <typename Table>
auto find_word(const Table& table, std::string_view word) -> decltype(&table[0]) {
    for (const auto& entry : table) {
        if (same_word(word, entry.word)) {
            return &entry;
        }
    }
    return nullptr;
}

// The keywords of version 2, lower case with single blanks.
enum class Keyword {
    Version,
    NumberOfPorts,
    TwoPortDataOrder,
    NumberOfFrequencies,
    NumberOfNoiseFrequencies,
    Reference,
    MatrixFormat,
    MixedModeOrder,
    BeginInformation,
    EndInformation,
    NetworkData,
    NoiseData,
    End,
};
struct KeywordWord {
    std::string_view word;
    Keyword keyword;
};
constexpr std::array<KeywordWord, 13> keyword_words = {{
    {"version", Keyword::Version},
    {"number of ports", Keyword::NumberOfPorts},
    {"two-port data order", Keyword::TwoPortDataOrder},
    {"number of frequencies", Keyword::NumberOfFrequencies},
    {"number of noise frequencies", Keyword::NumberOfNoiseFrequencies},
    {"reference", Keyword::Reference},
    {"matrix format", Keyword::MatrixFormat},
    {"mixed-mode order", Keyword::MixedModeOrder},
    {"begin information", Keyword::BeginInformation},
    {"end information", Keyword::EndInformation},
    {"network data", Keyword::NetworkData},
    {"noise data", Keyword::NoiseData},
    {"end", Keyword::End},
}};

struct MatrixWord {
    std::string_view word;
    MatrixFormat format;
};
constexpr std::array<MatrixWord, 3> matrix_words = {
    {{"full", MatrixFormat::Full}, {"lower", MatrixFormat::Lower}, {"upper", MatrixFormat::Upper}}};

class Reader {
  public:
    explicit Reader(std::string_view name) : name_ports_(ports_from_name(name)) {
        network_.source = std::string{name};
    }

    // One line of the file without its line end, lines counted from 1.
    void line(std::string_view text, std::size_t line) {
        if (line == 1 && text.starts_with("\xEF\xBB\xBF")) {
            text.remove_prefix(3);
        }
        if (const std::size_t comment = text.find('!'); comment != std::string_view::npos) {
            text = text.substr(0, comment);
        }
        text = trimmed(text);
        if (!text.empty()) {
            read_line(text, line);
        }
    }

    // Nothing after [End] is read.
    [[nodiscard]] bool done() const { return section_ == Section::End; }

    Network finish_file(std::size_t lines) {
        finish(std::max<std::size_t>(lines, 1));
        return std::move(network_);
    }

  private:
    void read_line(std::string_view text, std::size_t line) {
        if (!started_) {
            start(text, line);
        }
        if (text.front() == '[') {
            keyword_line(text, line);
        } else if (section_ == Section::Information) {
            return; // free text, whatever it starts with
        } else if (text.front() == '#') {
            option_line(text.substr(1), line);
        } else if (references_wanted_ > 0) {
            reference_values(text, line);
        } else if (section_ == Section::Network) {
            data_line(text, line);
        } else if (section_ == Section::Header) {
            throw BadFile{line, version_ == 2
                                    ? "data before [Network Data]"
                                    : "expected a number, found " + quoted(next_word(text))};
        }
        // Noise data and information are skipped.
    }

    // The first line that says anything decides the version; version 1 takes its port count
    // from the file name and its data follow at once.
    void start(std::string_view text, std::size_t line) {
        started_ = true;
        std::string_view rest = text;
        if (text.front() == '[' && keyword_of(rest, line) == Keyword::Version) {
            version_may_follow_ = true; // keyword_line reads it
            return;
        }
        if (name_ports_ <= 0) {
            throw BadFile{line, name_ports_ == 0
                                    ? "a .ts file starts with [Version] 2.0"
                                    : "the number of ports is not known: the name must end in "
                                      ".s1p, .s2p, ... (or the file start with [Version] 2.0)"};
        }
        if (name_ports_ > max_ports) {
            throw BadFile{line, "more than " + std::to_string(max_ports) + " ports"};
        }
        two_port_21_12_ = true; // version 1 two-port order: N11 N21 N12 N22
        set_ports(name_ports_);
        section_ = Section::Network;
    }

    Keyword keyword_of(std::string_view& text, std::size_t line) const {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            throw BadFile{line, "keyword without \"]\""};
        }
        std::string name; // lower case, blanks collapsed
        std::string_view inside = text.substr(1, close - 1);
        for (std::string_view word = next_word(inside); !word.empty(); word = next_word(inside)) {
            if (!name.empty()) {
                name += ' ';
            }
            std::transform(word.begin(), word.end(), std::back_inserter(name), lower);
        }
        text.remove_prefix(close + 1);
        if (const KeywordWord* entry = find_word(keyword_words, name)) {
            return entry->keyword;
        }
        throw BadFile{line, "unknown keyword " + quoted("[" + name + "]")};
    }

    void keyword_line(std::string_view text, std::size_t line) {
        const Keyword keyword = keyword_of(text, line);
        if (references_wanted_ > 0) {
            throw BadFile{reference_line_, "expected " + count_text(network_.ports, "reference") +
                                               ", found " +
                                               std::to_string(network_.reference_ohm.size())};
        }
        if (version_ == 1 && keyword != Keyword::Version) {
            throw BadFile{line, "keywords need [Version] 2.0 on the first line"};
        }
        if (section_ == Section::Information && keyword != Keyword::EndInformation) {
            return;
        }
        // Each keyword once: a second [Number of Ports] after a [Reference] for the first would
        // leave the data and the references of different sizes.
        if (keyword != Keyword::BeginInformation && keyword != Keyword::EndInformation) {
            bool& seen = keywords_seen_[static_cast<std::size_t>(keyword)];
            if (seen) {
                const auto entry =
                    std::find_if(keyword_words.begin(), keyword_words.end(),
                                 [keyword](const KeywordWord& w) { return w.keyword == keyword; });
                throw BadFile{line, "a second " + quoted("[" + std::string{entry->word} + "]")};
            }
            seen = true;
        }
        const std::string_view argument = trimmed(text);
        const auto only_word = [&]() {
            std::string_view rest = argument;
            const std::string_view word = next_word(rest);
            if (word.empty() || !trimmed(rest).empty()) {
                throw BadFile{line, "expected one value after the keyword"};
            }
            return word;
        };
        if ((section_ == Section::Network || section_ == Section::Noise) &&
            keyword != Keyword::NoiseData && keyword != Keyword::End) {
            throw BadFile{line, "unexpected keyword after [Network Data]"};
        }
        switch (keyword) {
        case Keyword::Version: {
            if (!version_may_follow_) {
                throw BadFile{line, "[Version] must be the first line"};
            }
            version_may_follow_ = false;
            const std::string_view word = only_word();
            if (word != "2.0" && word != "2.1") {
                throw BadFile{line, "cannot read version " + quoted(word) + " (1.x or 2.0)"};
            }
            version_ = 2;
            network_.version = 2;
            break;
        }
        case Keyword::NumberOfPorts: {
            const long long ports = whole_number(only_word(), line, "[Number of Ports]");
            if (ports < 1 || ports > max_ports) {
                throw BadFile{line, "[Number of Ports] must be 1 to " + std::to_string(max_ports)};
            }
            if (name_ports_ > 0 && name_ports_ != ports) {
                throw BadFile{line, "[Number of Ports] " + std::to_string(ports) +
                                        " does not match the file name"};
            }
            set_ports(static_cast<int>(ports));
            break;
        }
        case Keyword::TwoPortDataOrder: {
            const std::string_view word = only_word();
            if (word != "12_21" && word != "21_12") {
                throw BadFile{line, "[Two-Port Data Order] is 12_21 or 21_12, not " + quoted(word)};
            }
            two_port_21_12_ = word == "21_12";
            two_port_order_given_ = true;
            break;
        }
        case Keyword::NumberOfFrequencies: {
            const long long count = whole_number(only_word(), line, "[Number of Frequencies]");
            if (count < 1) {
                throw BadFile{line, "[Number of Frequencies] must be at least 1"};
            }
            frequencies_declared_ = count;
            break;
        }
        case Keyword::NumberOfNoiseFrequencies:
            whole_number(only_word(), line, "[Number of Noise Frequencies]");
            break;
        case Keyword::Reference:
            if (ports_known_ == false) {
                throw BadFile{line, "[Reference] before [Number of Ports]"};
            }
            network_.reference_ohm.clear();
            references_wanted_ = static_cast<std::size_t>(network_.ports);
            reference_line_ = line;
            if (!argument.empty()) {
                reference_values(argument, line);
            }
            break;
        case Keyword::MatrixFormat: {
            const MatrixWord* entry = find_word(matrix_words, only_word());
            if (entry == nullptr) {
                throw BadFile{line, "[Matrix Format] is Full, Lower or Upper"};
            }
            matrix_format_ = entry->format;
            break;
        }
        case Keyword::MixedModeOrder:
            throw BadFile{line, "mixed-mode data cannot be read"};
        case Keyword::BeginInformation:
            section_ = Section::Information;
            break;
        case Keyword::EndInformation:
            section_ = Section::Header;
            break;
        case Keyword::NetworkData:
            begin_network_data(line);
            break;
        case Keyword::NoiseData:
            end_network_data(line);
            section_ = Section::Noise;
            break;
        case Keyword::End:
            end_network_data(line);
            section_ = Section::End;
            break;
        }
    }

    void begin_network_data(std::size_t line) {
        if (network_seen_) {
            throw BadFile{line, "a second [Network Data]"};
        }
        if (!ports_known_) {
            throw BadFile{line, "[Network Data] before [Number of Ports]"};
        }
        if (frequencies_declared_ == 0) {
            throw BadFile{line, "[Network Data] before [Number of Frequencies]"};
        }
        if (network_.ports == 2 && !two_port_order_given_) {
            throw BadFile{line, "a two-port file needs [Two-Port Data Order]"};
        }
        network_seen_ = true;
        set_ports(network_.ports); // the matrix format is known now
        section_ = Section::Network;
    }

    void end_network_data(std::size_t line) {
        if (section_ != Section::Network) {
            if (section_ != Section::Noise) {
                throw BadFile{line, "no [Network Data]"};
            }
            return;
        }
        complete_record();
        if (static_cast<long long>(network_.f_ghz.size()) != frequencies_declared_) {
            throw BadFile{
                line, "expected " +
                          count_text(static_cast<std::size_t>(frequencies_declared_), "frequency") +
                          " ([Number of Frequencies]), found " +
                          std::to_string(network_.f_ghz.size())};
        }
    }

    void finish(std::size_t last_line) {
        if (references_wanted_ > 0) {
            throw BadFile{reference_line_, "expected " + count_text(network_.ports, "reference") +
                                               ", found " +
                                               std::to_string(network_.reference_ohm.size())};
        }
        if (version_ == 2 && section_ != Section::End) {
            end_network_data(last_line);
        }
        complete_record();
        if (network_.f_ghz.empty()) {
            throw BadFile{last_line, "no data"};
        }
        if (network_.reference_ohm.empty()) {
            network_.reference_ohm.assign(static_cast<std::size_t>(network_.ports), option_r_);
        }
    }

    // "# <unit> <parameter> <format> R <n>", each part optional, in any order. One option line,
    // before the data: a second one, or one after data, would apply its parts to some samples
    // and not to others.
    void option_line(std::string_view rest, std::size_t line) {
        if (options_seen_) {
            throw BadFile{line, "a second option line (the first is line " +
                                    std::to_string(option_line_) + ")"};
        }
        if (!network_.f_ghz.empty() || !record_.empty()) {
            throw BadFile{line, "the option line comes after data; it must come before them"};
        }
        options_seen_ = true;
        option_line_ = line;
        bool unit_given = false;
        bool parameter_given = false;
        bool format_given = false;
        bool r_given = false;
        const auto once = [line](bool& given, std::string_view what) {
            if (given) {
                throw BadFile{line, "the option line gives the " + std::string{what} + " twice"};
            }
            given = true;
        };
        for (std::string_view word = next_word(rest); !word.empty(); word = next_word(rest)) {
            if (const UnitWord* unit = find_word(unit_words, word)) {
                once(unit_given, "frequency unit");
                per_ghz_ = unit->per_ghz;
            } else if (const ParameterWord* parameter = find_word(parameter_words, word)) {
                once(parameter_given, "parameter");
                if (!parameter->parameter) {
                    throw BadFile{line, quoted(word) + " parameters cannot be read (S, Y or Z)"};
                }
                network_.parameter = *parameter->parameter;
            } else if (const FormatWord* format = find_word(format_words, word)) {
                once(format_given, "format");
                format_ = format->format;
            } else if (same_word(word, "r")) {
                once(r_given, "reference resistance");
                const std::string_view value = next_word(rest);
                if (value.empty()) {
                    throw BadFile{line, "R needs a resistance"};
                }
                option_r_ = positive_resistance(value, line);
            } else {
                throw BadFile{line, "unknown option " + quoted(word)};
            }
        }
    }

    static double positive_resistance(std::string_view word, std::size_t line) {
        const double value = number(word, line);
        if (!(value > 0.0)) {
            throw BadFile{line, "a reference resistance must be positive, not " + quoted(word)};
        }
        return value;
    }

    void reference_values(std::string_view rest, std::size_t line) {
        for (std::string_view word = next_word(rest); !word.empty(); word = next_word(rest)) {
            if (references_wanted_ == 0) {
                throw BadFile{line, "more than " + count_text(network_.ports, "reference")};
            }
            network_.reference_ohm.push_back(positive_resistance(word, line));
            --references_wanted_;
        }
    }

    // The order in which a record's pairs fill the matrix: (row, column) from 0, and whether
    // the value also fills its mirror image.
    void set_ports(int ports) {
        ports_known_ = true;
        network_.ports = ports;
        slots_.clear();
        const bool lower_half = matrix_format_ == MatrixFormat::Lower;
        const bool upper_half = matrix_format_ == MatrixFormat::Upper;
        if (ports == 2 && matrix_format_ == MatrixFormat::Full && two_port_21_12_) {
            slots_ = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        } else {
            for (int row = 0; row < ports; ++row) {
                for (int column = 0; column < ports; ++column) {
                    if ((lower_half && column > row) || (upper_half && column < row)) {
                        continue;
                    }
                    slots_.emplace_back(row, column);
                }
            }
        }
        record_size_ = 1 + 2 * slots_.size();
        record_.reserve(record_size_);
    }

    // A record may wrap over several lines but starts on a line of its own.
    void data_line(std::string_view rest, std::size_t line) {
        const bool starts_record = record_.empty();
        if (starts_record) {
            record_line_ = line;
            if (version_ == 1 && network_.ports == 2 && !network_.f_ghz.empty()) {
                // A version 1 two-port file's noise block starts at a frequency not above the
                // last network frequency.
                std::string_view probe = rest;
                if (number(next_word(probe), line) / per_ghz_ <= network_.f_ghz.back()) {
                    section_ = Section::Noise;
                    return;
                }
            }
        }
        const std::size_t before = record_.size();
        for (std::string_view word = next_word(rest); !word.empty(); word = next_word(rest)) {
            if (record_.size() == record_size_) {
                std::size_t found = record_.size() + 1;
                for (word = next_word(rest); !word.empty(); word = next_word(rest)) {
                    ++found;
                }
                if (starts_record) {
                    throw BadFile{line, "expected " + count_text(record_size_, "number") +
                                            ", found " + std::to_string(found)};
                }
                throw BadFile{record_line_, "expected " + count_text(record_size_, "number") +
                                                ", found " + std::to_string(before)};
            }
            record_.push_back(number(word, line));
        }
        if (record_.size() == record_size_) {
            store_record();
        }
    }

    void complete_record() {
        if (!record_.empty()) {
            throw BadFile{record_line_, "expected " + count_text(record_size_, "number") +
                                            ", found " + std::to_string(record_.size())};
        }
    }

    Complex value_of(double a, double b) const {
        constexpr double degree = std::numbers::pi / 180.0;
        switch (format_) {
        case Format::RI:
            return {a, b};
        case Format::MA:
            break;
        case Format::DB:
            a = std::pow(10.0, a / 20.0);
            break;
        }
        // Not std::polar: a magnitude may be written negative.
        return {a * std::cos(b * degree), a * std::sin(b * degree)};
    }

    void store_record() {
        const double f_ghz = record_[0] / per_ghz_;
        if (f_ghz < 0.0) {
            throw BadFile{record_line_, "a frequency must not be negative"};
        }
        if (!network_.f_ghz.empty() && !(f_ghz > network_.f_ghz.back())) {
            throw BadFile{record_line_, "frequencies must rise"};
        }
        if (version_ == 2 &&
            static_cast<long long>(network_.f_ghz.size()) >= frequencies_declared_) {
            throw BadFile{record_line_, "more frequencies than [Number of Frequencies] (" +
                                            std::to_string(frequencies_declared_) + ")"};
        }
        network_.f_ghz.push_back(f_ghz);
        network_.lines.push_back(record_line_);
        // Version 1 Y and Z data are normalised to R.
        const double scale = version_ == 2 || network_.parameter == Parameter::S ? 1.0
                             : network_.parameter == Parameter::Z                ? option_r_
                                                                                 : 1.0 / option_r_;
        const auto n = static_cast<std::size_t>(network_.ports);
        const std::size_t base = network_.values.size();
        network_.values.resize(base + n * n);
        for (std::size_t k = 0; k < slots_.size(); ++k) {
            const Complex value = value_of(record_[1 + 2 * k], record_[2 + 2 * k]) * scale;
            if (!std::isfinite(value.real()) || !std::isfinite(value.imag())) {
                throw BadFile{record_line_, "value out of range"};
            }
            const auto [row, column] = slots_[k];
            network_.values[base + static_cast<std::size_t>(row) * n +
                            static_cast<std::size_t>(column)] = value;
            if (matrix_format_ != MatrixFormat::Full) {
                // Half a matrix: the network is reciprocal, the other half its mirror image.
                network_.values[base + static_cast<std::size_t>(column) * n +
                                static_cast<std::size_t>(row)] = value;
            }
        }
        record_.clear();
    }

    Network network_;
    int name_ports_;
    int version_ = 1;
    bool started_ = false;
    bool version_may_follow_ = false;
    bool ports_known_ = false;
    bool options_seen_ = false;
    std::size_t option_line_ = 0;
    std::array<bool, keyword_words.size()> keywords_seen_{};
    bool network_seen_ = false;
    bool two_port_21_12_ = false;
    bool two_port_order_given_ = false;
    double per_ghz_ = 1.0;
    double option_r_ = 50.0;
    Format format_ = Format::MA;
    MatrixFormat matrix_format_ = MatrixFormat::Full;
    Section section_ = Section::Header;
    long long frequencies_declared_ = 0;
    std::size_t references_wanted_ = 0;
    std::size_t reference_line_ = 0;
    std::vector<std::pair<int, int>> slots_;
    std::size_t record_size_ = 0;
    std::vector<double> record_;
    std::size_t record_line_ = 0;
};

// Cuts bytes given piece by piece into lines ending in LF, CR LF or CR and hands each to the
// reader, holding one line at most: a line or a file past the limits is refused where it is.
class Lines {
  public:
    Lines(Reader& reader, const ReadLimits& limits) : reader_(reader), limits_(limits) {}

    void feed(std::string_view piece) {
        // The bytes up to the limit are read, so that the message names the line it falls in.
        const std::size_t allowed = limits_.file_bytes - read_;
        split(piece.substr(0, allowed));
        read_ += std::min(piece.size(), allowed);
        if (piece.size() > allowed && !reader_.done()) {
            throw BadFile{count_ + 1, "the file is larger than " +
                                          std::to_string(limits_.file_bytes) + " bytes"};
        }
    }

    // The number of lines in the file.
    std::size_t end() {
        if (!line_.empty() && !reader_.done()) {
            reader_.line(line_, ++count_);
        }
        return count_;
    }

    [[nodiscard]] bool done() const { return reader_.done(); }

    // Where a failure that is not the file's (memory running out) happened.
    [[nodiscard]] std::size_t current_line() const { return count_ + 1; }

  private:
    void split(std::string_view piece) {
        std::size_t at = 0;
        if (after_cr_ && !piece.empty() && piece.front() == '\n') {
            at = 1; // the LF of a CR LF
        }
        after_cr_ = false;
        // The next LF and CR from `at`, each looked for again only once passed.
        std::size_t lf = piece.find('\n', at);
        std::size_t cr = piece.find('\r', at);
        while (at < piece.size() && !reader_.done()) {
            if (lf < at) {
                lf = piece.find('\n', at);
            }
            if (cr < at) {
                cr = piece.find('\r', at);
            }
            const std::size_t end = std::min(lf, cr);
            const std::string_view part =
                piece.substr(at, end == std::string_view::npos ? end : end - at);
            if (part.size() > limits_.line_bytes - line_.size()) {
                throw BadFile{count_ + 1,
                              "longer than " + std::to_string(limits_.line_bytes) + " bytes"};
            }
            if (end == std::string_view::npos) {
                line_ += part;
                return;
            }
            at = end + 1;
            if (piece[end] == '\r') {
                if (at == piece.size()) {
                    after_cr_ = true;
                } else if (piece[at] == '\n') {
                    ++at;
                }
            }
            if (line_.empty()) {
                reader_.line(part, ++count_); // the whole line is in this piece
            } else {
                line_ += part;
                reader_.line(line_, ++count_);
                line_.clear();
            }
        }
    }

    Reader& reader_;
    const ReadLimits& limits_;
    std::string line_; // the part of a line that started in an earlier piece
    std::size_t count_ = 0;
    std::size_t read_ = 0;
    bool after_cr_ = false;
};

std::string with_line(std::string_view name, const BadFile& bad) {
    return std::string{name} + " line " + std::to_string(bad.line) + ": " + bad.what;
}

constexpr std::string_view no_memory = "not enough memory to read this far";

std::string reason(int error);

// Pieces of a file's bytes: `next(piece)` puts the next one in `piece` (empty at the end) and
// gives 0, or gives the error that stopped the reading.
template <typename Next>
std::variant<Network, std::string> read_pieces(std::string_view name, const ReadLimits& limits,
                                               Next next) {
    std::unique_ptr<Lines> lines;
    try {
        Reader reader{name};
        lines = std::make_unique<Lines>(reader, limits);
        std::string_view piece;
        while (!lines->done()) {
            if (const int error = next(piece)) {
                return "Cannot read " + std::string{name} + ": " + reason(error);
            }
            if (piece.empty()) {
                break;
            }
            lines->feed(piece);
        }
        return reader.finish_file(lines->end());
    } catch (const BadFile& bad) {
        return with_line(name, bad);
    } catch (const std::bad_alloc&) {
        return with_line(name, BadFile{lines ? lines->current_line() : 1, std::string{no_memory}});
    }
}

#ifndef _WIN32
// An open file descriptor, closed once.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const { return fd_; }

  private:
    int fd_;
};
#endif

std::string reason(int error) {
    std::string text = std::error_code(error, std::generic_category()).message();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}

bool finite(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag());
}

Complex scaled(Complex value, int e) {
    return e == 0 ? value : Complex{std::ldexp(value.real(), e), std::ldexp(value.imag(), e)};
}

// The exponent e that brings the largest entry of a sample's Z + G or I + G Y near 1 once
// multiplied by 2^-e.
int scale_exponent(const Network& network, std::size_t sample) {
    const auto n = static_cast<std::size_t>(network.ports);
    double largest = 0.0;
    for (std::size_t i = 0; i < n * n; ++i) {
        const Complex value = network.values[sample * n * n + i];
        largest = std::max({largest, std::abs(value.real()), std::abs(value.imag())});
    }
    const double r = *std::max_element(network.reference_ohm.begin(), network.reference_ohm.end());
    const int e_value = largest > 0.0 ? std::ilogb(largest) + 1 : 0;
    const int e_r = std::ilogb(r) + 1;
    return network.parameter == Parameter::Z ? std::max(e_value, e_r) + 1
                                             : std::max(e_value + e_r, 0) + 1;
}

std::size_t line_of(const Network& network, std::size_t sample) {
    return sample < network.lines.size() ? network.lines[sample] : 0;
}

// x solving A x = e_k for a small complex matrix (row by row), by Gaussian elimination with
// partial pivoting; nothing when A is singular.
std::optional<Complex> inverse_diagonal(std::vector<Complex> a, std::size_t n, std::size_t k) {
    std::vector<Complex> b(n);
    b[k] = 1.0;
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < n; ++row) {
            if (std::abs(a[row * n + column]) > std::abs(a[pivot * n + column])) {
                pivot = row;
            }
        }
        if (a[pivot * n + column] == Complex{}) {
            return std::nullopt;
        }
        if (pivot != column) {
            std::swap_ranges(a.begin() + static_cast<std::ptrdiff_t>(pivot * n),
                             a.begin() + static_cast<std::ptrdiff_t>(pivot * n + n),
                             a.begin() + static_cast<std::ptrdiff_t>(column * n));
            std::swap(b[pivot], b[column]);
        }
        for (std::size_t row = column + 1; row < n; ++row) {
            const Complex factor = a[row * n + column] / a[column * n + column];
            for (std::size_t j = column; j < n; ++j) {
                a[row * n + j] -= factor * a[column * n + j];
            }
            b[row] -= factor * b[column];
        }
    }
    std::vector<Complex> x(n);
    for (std::size_t row = n; row-- > 0;) {
        Complex sum = b[row];
        for (std::size_t j = row + 1; j < n; ++j) {
            sum -= a[row * n + j] * x[j];
        }
        x[row] = sum / a[row * n + row];
    }
    return x[k];
}

} // namespace

std::variant<Network, std::string> read_touchstone(std::string_view bytes, std::string_view name,
                                                   const ReadLimits& limits) {
    // In pieces, as from a file, so that the limits apply alike.
    return read_pieces(name, limits, [&bytes](std::string_view& piece) {
        piece = bytes.substr(0, std::size_t{1} << 16);
        bytes.remove_prefix(piece.size());
        return 0;
    });
}

std::variant<Network, std::string> read_touchstone_file(const std::string& name,
                                                        const ReadLimits& limits) {
    std::array<char, std::size_t{1} << 16> buffer;
#ifdef _WIN32
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        return "Cannot read " + name + ": " + reason(errno != 0 ? errno : ENOENT);
    }
    return read_pieces(name, limits, [&](std::string_view& piece) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        piece = {buffer.data(), got};
        return got == 0 && std::ferror(file.get()) ? (errno != 0 ? errno : EIO) : 0;
    });
#else
    // Not blocking on the open: a named pipe without a writer would wait for one forever. Once
    // open, reads wait for data as usual (a pipe without a writer reads as empty).
    const Descriptor file(::open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return "Cannot read " + name + ": " + reason(errno);
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return "Cannot read " + name + ": " + reason(errno);
    }
    return read_pieces(name, limits, [&](std::string_view& piece) {
        for (;;) {
            const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
            if (got >= 0) {
                piece = {buffer.data(), static_cast<std::size_t>(got)};
                return 0;
            }
            if (errno != EINTR) {
                return errno != 0 ? errno : EIO;
            }
        }
    });
#endif
}

std::variant<PortData, std::string> port_data(const Network& network, int port) {
    if (port < 1 || port > network.ports) {
        return network.source + " has no port " + std::to_string(port) + ": it has " +
               count_text(static_cast<std::size_t>(network.ports), "port");
    }
    PortData data;
    data.source = network.source;
    data.port = port;
    data.reference_ohm = network.reference_ohm[static_cast<std::size_t>(port - 1)];
    data.f_ghz = network.f_ghz;
    data.s.reserve(network.f_ghz.size());
    const auto n = static_cast<std::size_t>(network.ports);
    const auto k = static_cast<std::size_t>(port - 1);
    std::vector<Complex> matrix(n * n);
    for (std::size_t sample = 0; sample < network.f_ghz.size(); ++sample) {
        const auto first = network.values.begin() + static_cast<std::ptrdiff_t>(sample * n * n);
        Complex s;
        if (network.parameter == Parameter::S) {
            s = first[static_cast<std::ptrdiff_t>(k * n + k)];
        } else {
            // With G = diag(R): S = I - 2 G (Z + G)^-1 and S = 2 (I + G Y)^-1 - I. The matrix is
            // scaled by 2^-e; e = 0 unless its entries are so large that working it out overflows.
            const bool z = network.parameter == Parameter::Z;
            const auto solve = [&](int e) -> std::optional<Complex> {
                std::copy(first, first + static_cast<std::ptrdiff_t>(n * n), matrix.begin());
                for (std::size_t row = 0; row < n; ++row) {
                    const double r = network.reference_ohm[row];
                    for (std::size_t column = 0; column < n; ++column) {
                        Complex& entry = matrix[row * n + column];
                        entry = z ? scaled(entry, -e) : r * scaled(entry, -e);
                    }
                    matrix[row * n + row] += std::ldexp(z ? r : 1.0, -e);
                }
                const std::optional<Complex> inverse = inverse_diagonal(matrix, n, k);
                if (!inverse) {
                    return std::nullopt;
                }
                const Complex x = scaled(*inverse, -e);
                return z ? 1.0 - 2.0 * data.reference_ohm * x : 2.0 * x - 1.0;
            };
            std::optional<Complex> found = solve(0);
            if (found && !finite(*found)) {
                found = solve(scale_exponent(network, sample));
            }
            if (!found) {
                return network.source + ": port " + std::to_string(port) +
                       " has no reflection at " + shortest(network.f_ghz[sample]) + " GHz";
            }
            if (!finite(*found)) {
                return network.source + " line " + std::to_string(line_of(network, sample)) +
                       ": the values are too large to work out the reflection at port " +
                       std::to_string(port);
            }
            s = *found;
        }
        data.s.push_back(s);
    }
    return data;
}

} // namespace veltrane::rf
