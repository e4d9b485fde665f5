#pragma once

#include "rf/port_data.h"

#include <complex>
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::rf {

// The network parameters a measured file can hold. G and H files are refused when read.
enum class Parameter { S, Y, Z };

// The network data of a Touchstone file, in physical units whatever the file's format.
struct Network {
    std::string source; // the file's name as the user gave it, for messages
    int version = 1;    // 1 for Touchstone 1.x, 2 for 2.0
    int ports = 1;
    Parameter parameter = Parameter::S;
    std::vector<double> reference_ohm; // one per port
    std::vector<double> f_ghz;         // strictly rising
    std::vector<std::size_t> lines;    // the line each frequency's record starts on, for messages
    // ports x ports values per frequency, row by row (N11 N12 ... N21 N22 ...): S as written,
    // Y in siemens and Z in ohm (normalised version 1 data already multiplied out).
    std::vector<std::complex<double>> values;
    // The text after each '!' (without the '!' and the blanks around it), in the file's order.
    std::vector<std::string> comments;

    [[nodiscard]] std::complex<double> at(std::size_t sample, int row, int column) const {
        const auto n = static_cast<std::size_t>(ports);
        return values[sample * n * n + static_cast<std::size_t>(row - 1) * n +
                      static_cast<std::size_t>(column - 1)];
    }
};

// The largest port count read: enough for any .sNp name of two digits.
inline constexpr int max_ports = 99;

// What reading one file may cost at most: a longer line or a larger file is refused with its
// line ("line 3: longer than 1048576 bytes"), so that memory stays bounded whatever the file
// (the network kept takes at most about eight times the file's size).
struct ReadLimits {
    std::size_t line_bytes = std::size_t{1} << 20;   // 1 MiB, without the line end
    std::size_t file_bytes = std::size_t{256} << 20; // 256 MiB
};

// Reads a Touchstone 1.x or 2.0 file from its bytes. `name` names the file in messages and,
// for version 1, gives the port count through its extension (.s1p, .s2p, ... in any case;
// .ts needs version 2). Lines end in LF, CR LF or CR alone. Returns the network, or the message
// "<name> line <n>: <what>" (running out of memory is one of them).
[[nodiscard]] std::variant<Network, std::string>
read_touchstone(std::string_view bytes, std::string_view name, const ReadLimits& limits = {});

// read_touchstone on the file at `name`, read in pieces of 64 KiB and never waiting for a
// writer of a named pipe to appear; or "Cannot read <name>: <reason>".
[[nodiscard]] std::variant<Network, std::string>
read_touchstone_file(const std::string& name, const ReadLimits& limits = {});

// The reflection at `port` (from 1) with every other port terminated in its reference
// resistance: S_NN referred to the per-port references, Y and Z data converted first. Returns
// the message when the file has no such port, the reflection does not exist at a sample, or the
// values of a sample are too large for it to be worked out ("<source> line <n>: ...").
[[nodiscard]] std::variant<PortData, std::string> port_data(const Network& network, int port);

} // namespace veltrane::rf
