#pragma once
// The Touchstone format inside the reader: its words, numbers and rules, and the reader of its
// lines. Only the reader's own files include this; the rest of the program uses rf/touchstone.h.

#include "rf/touchstone.h"

#include <array>
#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane::rf::touchstone {

using Complex = std::complex<double>;

// A fault in the file: where and what. Thrown inside the reader only, caught at its entry.
struct BadFile {
    std::size_t line;
    std::string what;
};

enum class Format { RI, MA, DB };
enum class MatrixFormat { Full, Lower, Upper };
enum class Section { Header, Network, Noise, Information, End };

// Words are compared without regard to case; blanks are spaces, tabs and stray CRs.
[[nodiscard]] char lower(char c);
[[nodiscard]] bool same_word(std::string_view a, std::string_view b); // `b` in lower case
[[nodiscard]] bool is_blank(char c);
[[nodiscard]] std::string_view trimmed(std::string_view text);

// The next blank-separated word of `rest`, removed from it; empty at the end.
[[nodiscard]] std::string_view next_word(std::string_view& rest);

// Words from the file are quoted in messages; keep a long or binary one short and printable.
[[nodiscard]] std::string quoted(std::string_view word);

// "1 number", "2 numbers"; "frequency" becomes "frequencies".
[[nodiscard]] std::string count_text(std::size_t n, std::string_view noun);

// A decimal number as Touchstone writes it: optional sign, digits with an optional point and
// exponent. Nothing else (no "inf", "nan" or hexadecimal), and it must be finite; one below the
// smallest double reads as zero of its sign.
[[nodiscard]] std::optional<double> number_in(std::string_view word, std::size_t line);

// number_in, or the fault "expected a number" when `word` is none.
[[nodiscard]] double number(std::string_view word, std::size_t line);

// A whole number, or the fault "<what> needs a whole number".
long long whole_number(std::string_view word, std::size_t line, std::string_view what);

// The port count a version 1 file's name gives: ".s<N>p" in any case. 0 for ".ts", -1 for
// anything else.
[[nodiscard]] int ports_from_name(std::string_view name);

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

// Reads a file line by line into a network: the option line or keywords first, then the
// records of the network data, checked as they come.
class Reader {
  public:
    explicit Reader(std::string_view name);

    // One line of the file without its line end, lines counted from 1.
    void line(std::string_view text, std::size_t line);

    // Nothing after [End] is read.
    [[nodiscard]] bool done() const { return section_ == Section::End; }

    Network finish_file(std::size_t lines);

  private:
    void read_line(std::string_view text, std::size_t line);

    // The first line that says anything decides the version; version 1 takes its port count
    // from the file name and its data follow at once.
    void start(std::string_view text, std::size_t line);

    Keyword keyword_of(std::string_view& text, std::size_t line) const;

    void keyword_line(std::string_view text, std::size_t line);

    void begin_network_data(std::size_t line);

    void end_network_data(std::size_t line);

    void finish(std::size_t last_line);

    // "# <unit> <parameter> <format> R <n>", each part optional, in any order. One option line,
    // before the data: a second one, or one after data, would apply its parts to some samples
    // and not to others.
    void option_line(std::string_view rest, std::size_t line);

    static double positive_resistance(std::string_view word, std::size_t line);

    void reference_values(std::string_view rest, std::size_t line);

    // The order in which a record's pairs fill the matrix: (row, column) from 0, and whether
    // the value also fills its mirror image.
    void set_ports(int ports);

    // A record may wrap over several lines but starts on a line of its own.
    void data_line(std::string_view rest, std::size_t line);

    void complete_record();

    Complex value_of(double a, double b) const;

    void store_record();

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

} // namespace veltrane::rf::touchstone
