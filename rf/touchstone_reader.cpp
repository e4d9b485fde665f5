// The reader of a Touchstone file's lines: the option line or the keywords, the references, the
// records of the network data and the noise data, each checked as it comes.

#include "rf/touchstone_format.h"

#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

namespace veltrane::rf::touchstone {

Reader::Reader(std::string_view name) : name_ports_(ports_from_name(name)) {
    network_.source = std::string{name};
}

void Reader::line(std::string_view text, std::size_t line) {
    if (line == 1 && text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    if (const std::size_t comment = text.find('!'); comment != std::string_view::npos) {
        network_.comments.emplace_back(trimmed(text.substr(comment + 1)));
        text = text.substr(0, comment);
    }
    text = trimmed(text);
    if (!text.empty()) {
        read_line(text, line);
    }
}

Network Reader::finish_file(std::size_t lines) {
    finish(std::max<std::size_t>(lines, 1));
    return std::move(network_);
}

void Reader::read_line(std::string_view text, std::size_t line) {
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
        throw BadFile{line, version_ == 2 ? "data before [Network Data]"
                                          : "expected a number, found " + quoted(next_word(text))};
    }
    // Noise data and information are skipped.
}

void Reader::start(std::string_view text, std::size_t line) {
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

Keyword Reader::keyword_of(std::string_view& text, std::size_t line) const {
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

void Reader::keyword_line(std::string_view text, std::size_t line) {
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

void Reader::begin_network_data(std::size_t line) {
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

void Reader::end_network_data(std::size_t line) {
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
                      " ([Number of Frequencies]), found " + std::to_string(network_.f_ghz.size())};
    }
}

void Reader::finish(std::size_t last_line) {
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

void Reader::option_line(std::string_view rest, std::size_t line) {
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

double Reader::positive_resistance(std::string_view word, std::size_t line) {
    const double value = number(word, line);
    if (!(value > 0.0)) {
        throw BadFile{line, "a reference resistance must be positive, not " + quoted(word)};
    }
    return value;
}

void Reader::reference_values(std::string_view rest, std::size_t line) {
    for (std::string_view word = next_word(rest); !word.empty(); word = next_word(rest)) {
        if (references_wanted_ == 0) {
            throw BadFile{line, "more than " + count_text(network_.ports, "reference")};
        }
        network_.reference_ohm.push_back(positive_resistance(word, line));
        --references_wanted_;
    }
}

void Reader::set_ports(int ports) {
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

void Reader::data_line(std::string_view rest, std::size_t line) {
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
                throw BadFile{line, "expected " + count_text(record_size_, "number") + ", found " +
                                        std::to_string(found)};
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

void Reader::complete_record() {
    if (!record_.empty()) {
        throw BadFile{record_line_, "expected " + count_text(record_size_, "number") + ", found " +
                                        std::to_string(record_.size())};
    }
}

Complex Reader::value_of(double a, double b) const {
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

void Reader::store_record() {
    const double f_ghz = record_[0] / per_ghz_;
    if (f_ghz < 0.0) {
        throw BadFile{record_line_, "a frequency must not be negative"};
    }
    if (!network_.f_ghz.empty() && !(f_ghz > network_.f_ghz.back())) {
        throw BadFile{record_line_, "frequencies must rise"};
    }
    if (version_ == 2 && static_cast<long long>(network_.f_ghz.size()) >= frequencies_declared_) {
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
        network_
            .values[base + static_cast<std::size_t>(row) * n + static_cast<std::size_t>(column)] =
            value;
        if (matrix_format_ != MatrixFormat::Full) {
            // Half a matrix: the network is reciprocal, the other half its mirror image.
            network_.values[base + static_cast<std::size_t>(column) * n +
                            static_cast<std::size_t>(row)] = value;
        }
    }
    record_.clear();
}

} // namespace veltrane::rf::touchstone
