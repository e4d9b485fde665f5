#include "output/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace veltrane {

namespace {

// "permission denied" rather than "Permission denied": it follows a colon in the message.
std::string reason(const std::error_code& error) {
    std::string text = error.message();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}

std::string cannot_write(const std::filesystem::path& path, const std::error_code& error) {
    return "Cannot write " + path.generic_string() + ": " + reason(error);
}

bool is_read_only(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return false;
    }
    using std::filesystem::perms;
    return (status.permissions() &
            (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

} // namespace

std::optional<std::string> write_file_safely(const std::filesystem::path& path,
                                             std::string_view bytes) {
    namespace fs = std::filesystem;
    if (is_read_only(path)) {
        return cannot_write(path, std::make_error_code(std::errc::permission_denied));
    }

    // Write beside the target and rename over it, so that a failure never leaves a
    // half-written or emptied report.
    fs::path temp = path;
    temp += ".tmp";
    auto fail = [&](int err) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return cannot_write(path, std::error_code(err != 0 ? err : EIO, std::generic_category()));
    };

    errno = 0;
    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (file == nullptr) {
        return cannot_write(path,
                            std::error_code(errno != 0 ? errno : EACCES, std::generic_category()));
    }
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int write_error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return fail(written ? errno : write_error);
    }

    std::error_code error;
    fs::rename(temp, path, error);
    if (error) {
        const std::string message = cannot_write(path, error);
        std::error_code ignored;
        fs::remove(temp, ignored);
        return message;
    }
    return std::nullopt;
}

} // namespace veltrane
