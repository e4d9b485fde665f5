// Reading a Touchstone file: its bytes cut into lines within the limits, from memory or from a
// file read in pieces.

#include "rf/touchstone.h"
#include "rf/touchstone_format.h"

#include "io/descriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veltrane::rf {

namespace {

using touchstone::BadFile;
using touchstone::Reader;

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

std::string reason(int error) {
    std::string text = std::error_code(error, std::generic_category()).message();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
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

} // namespace veltrane::rf
