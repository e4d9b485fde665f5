#include "cli/batch.h"

#include "cli/calc_cli.h"
#include "cli/calc_request.h"
#include "io/reason_text.h"
#include "parallel/pool.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <system_error>

namespace veltrane::cli {

namespace {

namespace fs = std::filesystem;

// Options a batch sets itself, or that would run every file alike where each needs its own.
constexpr std::array<std::string_view, 3> refused = {"--touchstone", "--help", "--no-report"};

// Options that write a file: in a batch, each file's goes into the output folder.
constexpr std::array<std::string_view, 8> writers = {"--report",      "--s1p",       "--spice",
                                                     "--plot",        "--match-s2p", "--match-s1p",
                                                     "--match-spice", "--match-plot"};

bool touchstone_name(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext.size() >= 4 && ext[1] == 's' && ext.back() == 'p' &&
           std::all_of(ext.begin() + 2, ext.end() - 1,
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

struct Output {
    std::string option;
    std::string name; // the file's name as given, without its folder
};

struct Split {
    std::vector<std::string> files;
    std::vector<std::string> others;
    std::vector<Output> outputs;
    std::optional<std::string> folder;
    std::optional<std::string> error;
};

// The option's value: the rest of "--name=value", else the next word (consumed).
std::optional<std::string> value_of(const std::string& arg, std::string_view name,
                                    const std::vector<std::string>& args, std::size_t& k) {
    if (arg.size() > name.size()) {
        return arg.substr(name.size() + 1);
    }
    if (k + 1 < args.size()) {
        return args[++k];
    }
    return std::nullopt;
}

Split split(const std::vector<std::string>& args) {
    Split result;
    std::vector<std::string> named;
    bool in_files = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
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
        const bool writer = std::find(writers.begin(), writers.end(), name) != writers.end();
        if (writer || name == output_folder_option) {
            const auto value = value_of(arg, name, args, k);
            if (!value || value->empty()) {
                result.error = std::string{name} + " needs a name";
                return result;
            }
            if (!writer) {
                result.folder = *value;
                continue;
            }
            const std::string file = fs::path(*value).filename().string();
            if (file.empty() || file == "." || file == "..") {
                result.error = std::string{name} + " needs a file name: " + *value;
                return result;
            }
            result.outputs.push_back({std::string{name}, file});
            continue;
        }
        if (arg != "--json") {
            result.others.push_back(arg);
        }
    }
    if (!result.outputs.empty() && !result.folder) {
        result.error = result.outputs.front().option + " needs " +
                       std::string{output_folder_option} +
                       " with --batch: each file's goes into that folder";
        return result;
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

// A name for each file's outputs: its name without the extension, made unique in the order the
// files are given ("a", "a-2", ...).
std::vector<std::string> output_stems(const std::vector<std::string>& files) {
    std::vector<std::string> stems;
    std::set<std::string> used;
    for (const std::string& file : files) {
        const std::string stem = fs::path(file).stem().string();
        std::string name = stem.empty() ? std::string{"file"} : stem;
        for (int n = 2; used.contains(name); ++n) {
            name = stem + "-" + std::to_string(n);
        }
        used.insert(name);
        stems.push_back(name);
    }
    return stems;
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
    const std::vector<std::string> stems = output_stems(batch.files);
    const auto arguments = [&](std::size_t i) {
        std::vector<std::string> words = {"--touchstone", batch.files[i], "--json"};
        bool report = false;
        for (const Output& output : batch.outputs) {
            const fs::path path = fs::path(*batch.folder) / (stems[i] + "-" + output.name);
            words.insert(words.end(), {output.option, path.string()});
            report = report || output.option == "--report";
        }
        if (!report) {
            words.emplace_back("--no-report");
        }
        words.insert(words.end(), batch.others.begin(), batch.others.end());
        return words;
    };
    {
        // A command line that cannot be used says so once, not once a file.
        std::ostringstream ignored;
        auto parsed = parse_calc_args(arguments(0), ignored, err);
        if (const int* status = std::get_if<int>(&parsed)) {
            return *status;
        }
        parallel::set_threads(std::get<CalcRequest>(parsed).threads);
    }
    if (batch.folder) {
        std::error_code error;
        fs::create_directories(*batch.folder, error);
        if (error || !fs::is_directory(*batch.folder)) {
            err << program_name << ": Cannot make the folder " << *batch.folder
                << (error ? ": " + reason_text(error) : std::string{}) << '\n';
            return exit_message;
        }
    }
    // Progress: the files done so far, on one line that each finished file rewrites.
    std::mutex progress_mutex;
    const auto progress = [&](std::size_t done) {
        const std::lock_guard lock(progress_mutex);
        err << "\rBatch: " << done << " of " << batch.files.size() << " files" << std::flush;
    };
    std::vector<std::string> lines(batch.files.size());
    std::vector<bool> succeeded(batch.files.size(), false);
    std::atomic<std::size_t> finished{0};
    parallel::run(batch.files.size(), [&](std::size_t i) {
        const std::string& file = batch.files[i];
        std::ostringstream file_out;
        std::ostringstream file_err;
        int status = exit_message;
        try {
            status = run_calc(arguments(i), file_out, file_err);
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
        progress(++finished);
    });
    const std::size_t count = batch.files.size();
    bool all = true;
    for (std::size_t i = 0; i < count; ++i) {
        out << lines[i] << '\n';
        all = all && succeeded[i];
    }
    err << "\rBatch: " << finished.load() << " of " << count << " files, "
        << std::count(succeeded.begin(), succeeded.end(), true) << " with results\n";
    return all ? exit_results : exit_message;
}

} // namespace veltrane::cli
