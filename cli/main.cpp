#include "cli/calc_cli.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32

#include "io/path_text.h"
#include "io/reason_text.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <sstream>
#include <string_view>
#include <system_error>

namespace {

// The command line as Windows holds it (UTF-16), as UTF-8 words without the program name: the
// narrow argv of main() is in the ANSI code page, where most of the world's letters become '?'.
std::vector<std::string> utf8_arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.push_back(veltrane::utf8_from_wide(words[i]));
    }
    LocalFree(words);
    return args;
}

// Writes UTF-8 text to standard output or error: a console gets it as UTF-16 through its wide
// API, whatever its code page; a pipe or a file gets the bytes as they are (LF line ends, as on
// other systems). Returns false when the text could not be written.
bool write_text(DWORD which, std::string_view text) {
    if (text.empty()) {
        return true;
    }
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const int size =
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            size);
        std::wstring_view rest{wide};
        while (!rest.empty()) {
            // Some consoles take only so much per call; never split a surrogate pair.
            std::size_t chunk = std::min<std::size_t>(rest.size(), 8192);
            if (chunk < rest.size() && rest[chunk - 1] >= 0xD800 && rest[chunk - 1] <= 0xDBFF) {
                --chunk;
            }
            DWORD written = 0;
            if (!WriteConsoleW(handle, rest.data(), static_cast<DWORD>(chunk), &written, nullptr) ||
                written == 0) {
                return false;
            }
            rest.remove_prefix(written);
        }
        return true;
    }
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(),
                       static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20)), &written,
                       nullptr) ||
            written == 0) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// The system's text for the last error, starting in lower case after a colon, without the
// closing full stop.
std::string last_error_reason() {
    return veltrane::reason_text(std::system_category().message(static_cast<int>(GetLastError())));
}

} // namespace

int main() {
    std::ostringstream out;
    std::ostringstream err;
    int status = veltrane::cli::exit_message;
    try {
        status = veltrane::cli::run_calc(utf8_arguments(), out, err, &std::cerr);
    } catch (const std::bad_alloc&) {
        err << "veltrane-calc: not enough memory\n";
    } catch (const std::exception& error) {
        err << "veltrane-calc: " << error.what() << '\n';
    }
    // Output that cannot be written is a failure, never a success (a usage error stays one).
    if (!write_text(STD_OUTPUT_HANDLE, out.str()) || !write_text(STD_ERROR_HANDLE, err.str())) {
        write_text(STD_ERROR_HANDLE, "veltrane-calc: write error: " + last_error_reason() + "\n");
        return status == veltrane::cli::exit_usage ? status : veltrane::cli::exit_message;
    }
    return status;
}

#else

#include <iostream>

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.emplace_back(argv[i]);
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = veltrane::cli::run_calc(args, out, err, &std::cerr);
        return veltrane::cli::deliver(status, out.view(), err.view(), stdout, stderr);
    } catch (const std::bad_alloc&) {
        std::cerr << "veltrane-calc: not enough memory\n";
        return veltrane::cli::exit_message;
    } catch (const std::exception& error) {
        std::cerr << "veltrane-calc: " << error.what() << '\n';
        return veltrane::cli::exit_message;
    }
}

#endif
