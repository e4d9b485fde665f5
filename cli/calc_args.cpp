// veltrane-calc's command line read into a request: the field and choice options, the report,
// the data, and the options of the model, the exports and matching.

#include "cli/calc_cli.h"

#include "cli/batch.h"
#include "cli/model_options.h"
#include "io/path_text.h"
#include "io/same_file.h"
#include "model/field_set.h"
#include "model/quantities.h"
#include "output/report.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace veltrane::cli {

namespace {

// The input fields, one option each; the value is the field's text as the user would type it.
struct InputOption {
    std::string_view name;
    Field field;
};

constexpr std::array<InputOption, 7> input_options = {{
    {"--f1", Field::F1},
    {"--r1", Field::R1},
    {"--x1", Field::X1},
    {"--f2", Field::F2},
    {"--r2", Field::R2},
    {"--x2", Field::X2},
    {"--rl", Field::RL},
}};

// "text of R1, resistance at F1 [ohm] (default "1.0")"; a frequency's symbol says what it is.
std::string input_help(const Quantity& q) {
    std::string help = "text of " + std::string(q.symbol);
    if (q.unit != Unit::GHz) {
        help.append(", ").append(q.meaning);
    }
    help.append(" [").append(unit_symbol(q.unit)).append("] (default \"");
    return help.append(q.default_text).append("\")");
}

// The option groups of the window: each value selects one button of its pair.
struct ChoiceOption {
    std::string_view name;
    std::array<std::string_view, 2> values;
    std::array<Option, 2> buttons;
    std::string_view help;
};

constexpr std::array<ChoiceOption, 3> choice_options = {{
    {"--f1-crossover",
     {"inductive", "capacitive"},
     {Option::F1Ind, Option::F1Cap},
     "crossover at F1 (default: none chosen)"},
    {"--f2-crossover",
     {"inductive", "capacitive"},
     {Option::F2Ind, Option::F2Cap},
     "crossover at F2 (default: none chosen)"},
    {"--topology",
     {"parallel-series", "series-parallel"},
     {Option::ParSer, Option::SerPar},
     "topology (default: none chosen)"},
}};

constexpr std::string_view report_option = "--report";
constexpr std::array<std::string_view, 2> measured_options = {"--touchstone", "--port"};

// Whether the option `name` of `app` takes a value (a flag takes none): the word after it is
// its value whatever it looks like.
bool takes_value(const CLI::App& app, std::string_view name) {
    const CLI::Option* option = app.get_option_no_throw(std::string(name));
    return option != nullptr && option->get_expected_min() > 0;
}

// Rewrites "--name=value" of an option that takes a value into "--name" "value", so that the
// parser takes the value as the next word, verbatim: an empty value stays empty (instead of
// swallowing the following word). The word after "--name" is a value whatever it looks like
// and is passed on untouched; everything after "--" is passed on untouched too.
std::vector<std::string> split_assignments(const CLI::App& app,
                                           const std::vector<std::string>& args) {
    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        const std::size_t equals = arg.find('=');
        if (arg.starts_with("--") && equals != std::string::npos &&
            takes_value(app, std::string_view{arg}.substr(0, equals))) {
            words.push_back(arg.substr(0, equals));
            words.push_back(arg.substr(equals + 1));
            continue;
        }
        words.push_back(arg);
        if (takes_value(app, arg) && i + 1 < args.size()) {
            words.push_back(args[++i]);
        }
    }
    return words;
}

// The output that would overwrite the measured file the run reads, as the message of a usage
// error; none when every output is another file.
std::optional<std::string> output_over_input(const CalcRequest& request, bool report_given) {
    if (!request.touchstone) {
        return std::nullopt;
    }
    const std::filesystem::path input = path_from_utf8(*request.touchstone);
    std::vector<std::pair<std::string, const std::optional<std::string>*>> outputs = {
        {report_given ? "--report" : "the report", &request.report},
        {"--s1p", &request.exports.s1p},
        {"--spice", &request.exports.spice},
        {"--plot", &request.exports.plot},
    };
    if (request.match) {
        outputs.insert(outputs.end(), {{"--match-s2p", &request.match->s2p},
                                       {"--match-s1p", &request.match->s1p},
                                       {"--match-spice", &request.match->spice},
                                       {"--match-plot", &request.match->plot}});
    }
    for (const auto& [name, path] : outputs) {
        if (*path && same_file(path_from_utf8(**path), input)) {
            return name + ": " + **path + " is also --touchstone's file, which the run reads";
        }
    }
    return std::nullopt;
}

std::string usage_synopsis() {
    return "Usage: veltrane-calc [--f1 TEXT] [--r1 TEXT] [--x1 TEXT] [--f2 TEXT] [--r2 TEXT]\n"
           "                     [--x2 TEXT] [--rl TEXT]\n"
           "                     [--f1-crossover inductive|capacitive]\n"
           "                     [--f2-crossover inductive|capacitive]\n"
           "                     [--topology parallel-series|series-parallel]\n"
           "                     [--report PATH | --no-report] [--json]\n";
}

// CLI11's help with the calculator's own synopsis in place of "Usage: veltrane-calc [OPTIONS]".
class CalcFormatter final : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* /*app*/, std::string /*name*/) const override {
        return usage_synopsis();
    }
};

} // namespace

std::variant<CalcRequest, int> parse_calc_args(const std::vector<std::string>& args,
                                               std::ostream& out, std::ostream& err) {
    CLI::App app{"Builds the lumped model of a one-port device from two measured impedance "
                 "points, with the calculation of the Veltrane window.",
                 std::string{program_name}};
    // "/rl 2.0" is a stray word on every system, as it is on Linux, not an option on Windows only.
    app.allow_windows_style_options(false);
    app.formatter(std::make_shared<CalcFormatter>());
    app.get_formatter()->column_width(34);
    app.footer("A TEXT is taken as the field's text and read as the window reads it: \"2.5GHz\"\n"
               "reads as 2.5, an empty text as 0.\n"
               "The report goes to Model.prt in the current directory unless --report or\n"
               "--no-report says otherwise.\n"
               "Exit status: 0 results, 1 a message (the calculation's, or the report could not\n"
               "be written), 2 a usage error.");

    std::array<std::string, input_options.size()> input_texts;
    std::array<CLI::Option*, input_options.size()> input_given{};
    for (std::size_t i = 0; i < input_options.size(); ++i) {
        input_given[i] = app.add_option(std::string{input_options[i].name}, input_texts[i],
                                        input_help(quantity(input_options[i].field)))
                             ->type_name("TEXT");
    }

    std::array<std::string, choice_options.size()> choices;
    for (std::size_t i = 0; i < choice_options.size(); ++i) {
        const ChoiceOption& choice = choice_options[i];
        const std::string values =
            std::string{choice.values[0]} + "|" + std::string{choice.values[1]};
        app.add_option(std::string{choice.name}, choices[i], std::string{choice.help})
            ->type_name(values)
            ->check(CLI::IsMember({std::string{choice.values[0]}, std::string{choice.values[1]}})
                        .description(""));
    }

    std::string report_path;
    CLI::Option* report_given = app.add_option(std::string{report_option}, report_path,
                                               "write the report to PATH instead of Model.prt")
                                    ->type_name("PATH");
    bool no_report = false;
    CLI::Option* no_report_given =
        app.add_flag("--no-report", no_report, "write no report")->disable_flag_override();
    report_given->excludes(no_report_given);
    std::string touchstone_path;
    CLI::Option* touchstone_given =
        app.add_option(std::string{measured_options[0]}, touchstone_path,
                       "take R1, X1, R2, X2 from this Touchstone file at F1 and F2")
            ->option_text("FILE");
    for (std::size_t i = 0; i < input_options.size(); ++i) {
        const Field field = input_options[i].field;
        if (field == Field::R1 || field == Field::X1 || field == Field::R2 || field == Field::X2) {
            touchstone_given->excludes(input_given[i]);
            input_given[i]->option_text("TEXT"); // the help keeps its column
        }
    }
    int port = 1;
    app.add_option(std::string{measured_options[1]}, port, "the file's port (default 1)")
        ->option_text("N")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return text.empty() ? std::string{"expected a port number, found nothing"}
                                    : std::string{};
            },
            ""))
        ->needs(touchstone_given);
    bool json = false;
    app.add_flag("--json", json, "print one JSON object instead of the result lines")
        ->disable_flag_override();
    std::size_t threads = 0;
    app.add_option("--threads", threads, "threads to work on (default: every core)")
        ->option_text("N")
        ->check(CLI::Range(std::size_t{1}, std::size_t{4096}));
    // A batch is run before these words are parsed (run_batch): here they are for the help, and
    // so that --output-dir without --batch is a usage error.
    std::vector<std::string> batch_words;
    CLI::Option* batch =
        app.add_option(std::string{batch_option}, batch_words,
                       "run the other options on every file (a folder: its Touchstone files), "
                       "every core busy; one JSON line a file")
            ->option_text("FILES...|FOLDER")
            ->expected(1, -1);
    std::string output_folder;
    app.add_option(std::string{output_folder_option}, output_folder,
                   "with --batch: the folder the files' outputs go to, each named STEM-NAME")
        ->option_text("DIR")
        ->needs(batch);
    ModelArgs model_args;
    add_model_options(app, model_args);
    ExportOptions export_words;
    add_export_options(app, export_words);
    MatchWords match_words;
    add_match_options(app, match_words);
    std::string amplifier_file;
    std::string amplifier_at;
    add_amplifier_options(app, amplifier_file, amplifier_at);
    // All eight choices write nothing and check nothing: options that would be ignored refuse.
    for (const char* ignored :
         {"--report", "--check", "--sweep", "--s1p", "--spice", "--plot", "--e-series"}) {
        app.get_option("--all-choices")->excludes(app.get_option(ignored));
    }

    // Any option given twice is a usage error: flags keep the last by default, so say it for all.
    for (CLI::Option* option : app.get_options()) {
        if (option != app.get_help_ptr()) {
            option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        }
    }
    try {
        std::vector<std::string> words = split_assignments(app, args);
        if (asks_for_amplifier(app, words)) {
            // --band is the summary's band there, with no --match.
            app.get_option("--band")->remove_needs(match_words.match);
        }
        std::reverse(words.begin(), words.end()); // the parser takes the words last first
        app.parse(std::move(words));
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return exit_results;
    } catch (const CLI::ParseError& error) {
        err << program_name << ": " << error.what() << '\n' << usage_synopsis();
        err << "Run with --help for more information.\n";
        return exit_usage;
    }

    CalcRequest request;
    if (auto error = amplifier_request(app, amplifier_file, amplifier_at, match_words.band,
                                       request.amplifier)) {
        err << program_name << ": " << *error << '\n' << usage_synopsis();
        err << "Run with --help for more information.\n";
        return exit_usage;
    }
    for (std::size_t i = 0; i < input_options.size(); ++i) {
        if (input_given[i]->count() > 0) {
            request.fields.set_text(input_options[i].field, input_texts[i]);
        }
    }
    for (std::size_t i = 0; i < choice_options.size(); ++i) {
        const ChoiceOption& choice = choice_options[i];
        for (std::size_t k = 0; k < choice.values.size(); ++k) {
            if (choices[i] == choice.values[k]) {
                request.fields.select(choice.buttons[k]);
            }
        }
    }
    if (report_given->count() > 0) {
        request.report = report_path;
    } else if (!no_report) {
        request.report = std::string{report_file_name};
    }
    request.json = json;
    request.threads = threads;
    if (touchstone_given->count() > 0) {
        request.touchstone = touchstone_path;
        request.port = port;
    }
    finish_model_options(model_args, request);
    auto exports = export_request(app, export_words, request.report);
    if (const std::string* error = std::get_if<std::string>(&exports)) {
        err << program_name << ": " << *error << '\n' << usage_synopsis();
        err << "Run with --help for more information.\n";
        return exit_usage;
    }
    request.exports = std::get<ExportRequest>(std::move(exports));
    auto error = finish_match_options(app, match_words, request);
    if (!error) {
        error = output_over_input(request, report_given->count() > 0);
    }
    if (error) {
        err << program_name << ": " << *error << '\n' << usage_synopsis();
        err << "Run with --help for more information.\n";
        return exit_usage;
    }
    return request;
}

} // namespace veltrane::cli
