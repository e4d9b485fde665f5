#include "cli/batch.h"

#include "cli/calc_cli.h"
#include "cli/calc_request.h"
#include "parallel/pool.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

namespace veltrane::cli {

namespace {

namespace fs = std::filesystem;

// Options a batch sets itself, or that would write one file for many inputs.
constexpr std::array<std::string_view, 7> refused = {"--touchstone", "--report", "--s1p", "--spice",
                                                     "--plot",       "--sweep",  "--help"};

bool touchstone_name(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext.size() >= 4 && ext[1] == 's' && ext.back() == 'p' &&
           std::all_of(ext.begin() + 2, ext.end() - 1,
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

struct Split {
    std::vector<std::string> files;
    std::vector<std::string> others;
    std::optional<std::string> error;
};

Split split(const std::vector<std::string>& args) {
    Split result;
    std::vector<std::string> named;
    bool in_files = false;
    for (const std::string& arg : args) {
        if (arg == batch_option) {
            in_files = true;
            continue;
        }
        if (arg.starts_with("--")) {
            in_files = false;
        }
        if (in_files) {
            named.push_back(arg);
            continue;
        }
        const std::string_view name = std::string_view{arg}.substr(0, arg.find('='));
        if (std::find(refused.begin(), refused.end(), name) != refused.end()) {
            result.error = std::string{name} + " cannot be given with --batch";
            return result;
        }
        if (arg != "--json" && arg != "--no-report") {
            result.others.push_back(arg);
        }
    }
    for (const std::string& word : named) {
        std::error_code error;
        if (fs::is_directory(word, error)) {
            std::vector<std::string> inside;
            for (const auto& entry : fs::directory_iterator(word, error)) {
                if (entry.is_regular_file(error) && touchstone_name(entry.path())) {
                    inside.push_back(entry.path().string());
                }
            }
            std::sort(inside.begin(), inside.end());
            result.files.insert(result.files.end(), inside.begin(), inside.end());
        } else {
            result.files.push_back(word);
        }
    }
    if (result.files.empty()) {
        result.error = "--batch needs files or a folder holding Touchstone files";
    }
    return result;
}

// The last line of a run's standard error that says something (progress lines end in '\r').
std::string message_of(const std::string& err) {
    std::string last;
    std::size_t start = 0;
    while (start < err.size()) {
        const std::size_t end = err.find_first_of("\r\n", start);
        const std::string line = err.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && !line.starts_with(program_name)) {
            last = line;
        } else if (line.starts_with(program_name)) {
            last = line.substr(program_name.size() + 2);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return last.empty() ? std::string{"no results"} : last;
}

} // namespace

bool asks_for_batch(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), batch_option) != args.end();
}

int run_batch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Split batch = split(args);
    if (batch.error) {
        err << program_name << ": " << *batch.error << '\n';
        return exit_usage;
    }
    const auto arguments = [&](const std::string& file) {
        std::vector<std::string> words = {"--touchstone", file, "--json", "--no-report"};
        words.insert(words.end(), batch.others.begin(), batch.others.end());
        return words;
    };
    {
        // A command line that cannot be used says so once, not once a file.
        std::ostringstream ignored;
        auto parsed = parse_calc_args(arguments(batch.files.front()), ignored, err);
        if (const int* status = std::get_if<int>(&parsed)) {
            return *status;
        }
        parallel::set_threads(std::get<CalcRequest>(parsed).threads);
    }
    std::vector<std::string> lines(batch.files.size());
    std::vector<bool> succeeded(batch.files.size(), false);
    std::atomic<std::size_t> finished{0};
    parallel::run(batch.files.size(), [&](std::size_t i) {
        const std::string& file = batch.files[i];
        std::ostringstream file_out;
        std::ostringstream file_err;
        int status = exit_message;
        try {
            status = run_calc(arguments(file), file_out, file_err);
        } catch (const std::exception& error) {
            file_err << error.what() << '\n';
        }
        nlohmann::ordered_json line = nlohmann::ordered_json::object();
        line["file"] = file;
        const auto object = nlohmann::ordered_json::parse(file_out.str(), nullptr, false);
        if (status == exit_results && object.is_object()) {
            line.update(object);
            succeeded[i] = true;
        } else if (object.is_object() && object.contains("message") &&
                   object["message"].is_string()) {
            line["message"] = object["message"];
        } else {
            line["message"] = message_of(file_err.str());
        }
        lines[i] = line.dump();
        ++finished;
    });
    const std::size_t count = batch.files.size();
    bool all = true;
    for (std::size_t i = 0; i < count; ++i) {
        out << lines[i] << '\n';
        all = all && succeeded[i];
    }
    err << "Batch: " << finished.load() << " of " << count << " files, "
        << std::count(succeeded.begin(), succeeded.end(), true) << " with results\n";
    return all ? exit_results : exit_message;
}

} // namespace veltrane::cli
