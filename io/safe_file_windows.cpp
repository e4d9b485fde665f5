// The safe file writer on Windows, with the Win32 file API: the new content goes to a temporary
// file beside the target, made with CREATE_NEW so that it is ours alone, flushed to the disk, and
// then put in the target's place in one step. ReplaceFileW replaces an existing file and keeps
// what the user set on it (attributes, security); MoveFileExW puts a new one in place. A device
// (NUL, CON, COM1) or a pipe is written into as it is.
#include "io/safe_file.h"
#include "io/safe_file_detail.h"

#include "io/path_text.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrane {

namespace {

namespace fs = std::filesystem;
using detail::cannot_write;

// Attributes the user may have set on a report that its replacement keeps. Read-only is not
// among them: a read-only report is not replaced at all.
constexpr DWORD kept_attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// WriteFile takes at most a DWORD of bytes per call; stay well below it.
constexpr std::size_t write_chunk = std::size_t{1} << 30;

std::string decimal(unsigned long long value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    return {digits.data(), end};
}

// The system's own words for an error we have no wording of our own for, in the style of the
// other reasons: no capital, no full stop.
std::string system_reason(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = utf8_from_wide(std::wstring_view(buffer, length));
    }
    LocalFree(buffer);
    text = detail::reason_text(std::move(text));
    return text.empty() ? "system error " + decimal(error) : text;
}

// The same words as on other systems for what the user can act on.
std::string reason(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return "the file is in use by another program";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return "permission denied";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return "no such file or directory";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "no space left on device";
    case ERROR_FILENAME_EXCED_RANGE:
        return "file name too long";
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
        return "invalid file name";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return "the program reading from the pipe has stopped";
    default:
        return system_reason(error);
    }
}

// ReplaceFileW and MoveFileExW report a file another program holds open in several ways
// (sharing violation, access denied, "unable to remove replaced"). Opening the file as they
// would tells which it is.
DWORD why_not_replaced(const fs::path& target, DWORD error) {
    HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD probe_error = GetLastError();
        if (probe_error == ERROR_SHARING_VIOLATION || probe_error == ERROR_LOCK_VIOLATION ||
            probe_error == ERROR_ACCESS_DENIED) {
            return probe_error;
        }
        return error;
    }
    CloseHandle(probe);
    return error;
}

// The absolute form of `path`: ReplaceFileW wants one (wine's fails on a relative name).
fs::path absolute_path(const fs::path& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return fs::path(full);
}

// A name no other writer uses, short so that a report name of the longest length the folder
// allows still works: ".veltrane-", twelve letters or digits and ".tmp". Uniqueness comes from the
// exclusive creation; the mix of clock, process and count only spreads the names.
std::wstring temporary_name() {
    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    std::uint64_t mix = static_cast<std::uint64_t>(now.QuadPart) ^
                        (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40U) ^
                        (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
    mix ^= mix >> 30U;
    mix *= 0xBF58476D1CE4E5B9ULL;
    mix ^= mix >> 27U;
    mix *= 0x94D049BB133111EBULL;
    mix ^= mix >> 31U;
    constexpr std::wstring_view alphabet = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring name = L".veltrane-";
    for (int letter = 0; letter < 12; ++letter) {
        name += alphabet[mix % alphabet.size()];
        mix /= alphabet.size();
    }
    name += L".tmp";
    return name;
}

// A new, empty file in the folder of `target` that no other writer shares; ERROR_FILE_EXISTS
// when no free name was found.
HANDLE create_temporary(const fs::path& target, fs::path& temp) {
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder / temporary_name();
        HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// `target` opened for writing when it is a device or a pipe, which are written into as they
// are: nothing can be put in their place, nor a temporary file beside them. A name in the device
// namespace (GetFullPathNameW turns "NUL" and "COM1" into "\\.\NUL" and "\\.\COM1") is one whatever
// the open says; otherwise the opened handle tells, and INVALID_HANDLE_VALUE means an ordinary
// file (or none), to be replaced.
HANDLE open_device(const fs::path& target, bool device_name) {
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || device_name) {
        return file;
    }
    const DWORD type = GetFileType(file);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        return file;
    }
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

bool write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), write_chunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

void restore_attributes(const fs::path& target, DWORD old_attributes) {
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DWORD wanted = (now & ~kept_attributes) | (old_attributes & kept_attributes);
    if (wanted != now) {
        SetFileAttributesW(target.c_str(), wanted);
    }
}

// Writes into a device or a pipe opened by open_device(), and closes it.
std::optional<std::string> write_into(const fs::path& path, HANDLE file, std::string_view bytes) {
    if (!write_all(file, bytes)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return cannot_write(path, reason(error));
    }
    if (!CloseHandle(file)) {
        return cannot_write(path, reason(GetLastError()));
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> write_file_safely(const fs::path& path, std::string_view bytes) {
    const fs::path target = absolute_path(path);
    const bool device_name = target.native().starts_with(LR"(\\.\)");
    if (device_name) {
        HANDLE device = open_device(target, true);
        if (device == INVALID_HANDLE_VALUE) {
            return cannot_write(path, reason(GetLastError()));
        }
        return write_into(path, device, bytes);
    }
    const DWORD old_attributes = GetFileAttributesW(target.c_str());
    const bool has_old = old_attributes != INVALID_FILE_ATTRIBUTES;
    if (has_old && (old_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return cannot_write(path, "is a directory");
    }
    if (has_old && (old_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return cannot_write(path, reason(ERROR_ACCESS_DENIED));
    }
    if (has_old) {
        if (HANDLE device = open_device(target, false); device != INVALID_HANDLE_VALUE) {
            return write_into(path, device, bytes);
        }
    }

    fs::path temp;
    HANDLE file = create_temporary(target, temp);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return cannot_write(path, error == ERROR_FILE_EXISTS
                                      ? "no free name for a temporary file in its folder"
                                      : reason(error));
    }
    const auto fail = [&](DWORD error) {
        DeleteFileW(temp.c_str());
        return cannot_write(path, reason(error));
    };
    if (!write_all(file, bytes) || !FlushFileBuffers(file)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return fail(error);
    }
    if (!CloseHandle(file)) {
        return fail(GetLastError());
    }

    if (has_old) {
        // A file another program holds open cannot be replaced; say so before trying, as a
        // failed ReplaceFileW may leave a file of its own behind (wine's does).
        const DWORD in_use = why_not_replaced(target, ERROR_SUCCESS);
        if (in_use == ERROR_SHARING_VIOLATION || in_use == ERROR_LOCK_VIOLATION) {
            return fail(in_use);
        }
        if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            // Windows keeps them itself; wine does not.
            restore_attributes(target, old_attributes);
            return std::nullopt;
        }
        const DWORD error = GetLastError();
        // The old file went away meanwhile, or was removed and the new one not yet put in its
        // place: either way a plain move finishes the job.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            return fail(why_not_replaced(target, error));
        }
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        return fail(why_not_replaced(target, error));
    }
    if (has_old) {
        restore_attributes(target, old_attributes);
    }
    return std::nullopt;
}

} // namespace veltrane
