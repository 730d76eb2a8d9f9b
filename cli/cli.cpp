#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <functional>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>

#include "cli/agents.h"
#include "cli/batch_mode.h"
#include "cli/fit_mode.h"
#include "cli/patient_mode.h"
#include "engine/atomic_file.h"
#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "engine/plain_text.h"
#include "engine/scenario.h"
#include "engine/scenario_uncertainty.h"
#include "engine/version.h"
#include "library/install_paths.h"
#include "library/json_reader.h"
#include "library/measurements_file.h"
#include "library/scenario_file.h"
#include "library/standards.h"
#include "library/uncertainty_file.h"
#include "library/workbench.h"
#include "report/csv.h"
#include "report/json_record.h"
#include "report/report.h"
#include "report/results_file.h"
#include "report/scenario_report.h"
#include "report/uncertainty_report.h"

namespace orvane {
namespace {

const char* const kDescription =
    "Computes the bladder-wall dose tables (mGy/MBq) of a standard radiopharmaceutical or of\n"
    "typed-in data, exactly as the Orvane window does, and prints the results file.";

const char* const kFooter =
    "Field options override the chosen standard's or library entry's fields. Without an\n"
    "output option the whole results file is printed.\n"
    "\n"
    "Exit status: 0 success, 1 file or I/O failure, 2 refused input or bad usage, 3 (--batch)\n"
    "some records failed (each has its error record; the rest were computed).";

// A parse of the command line into options: CLI11 keeps references to the members.
struct CliParser {
    CliOptions options;
    CLI::App app{kDescription, "orvane-cli"};
};

// Every option may be given once, and with a value that is not empty.
CLI::Option* once(CLI::Option* option) {
    return option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

CLI::Option* addFlag(CLI::App& app, const std::string& name, bool& value,
                     const std::string& description) {
    return once(app.add_flag(name, value, description))->disable_flag_override();
}

CLI::Option* addText(CLI::App& app, const std::string& name,
                     std::function<void(const std::string&)> store, const std::string& description,
                     const std::string& typeName = "TEXT") {
    const CLI::Validator nonEmpty(
        [](const std::string& value) {
            return value.empty() ? std::string("the value is empty") : std::string();
        },
        "", "non-empty");
    return once(app.add_option_function<std::string>(name, std::move(store), description))
        ->check(nonEmpty)
        ->type_name(typeName);
}

CLI::Option* addText(CLI::App& app, const std::string& name, std::optional<std::string>& value,
                     const std::string& description, const std::string& typeName = "TEXT") {
    return addText(
        app, name, [&value](const std::string& text) { value = text; }, description, typeName);
}

// Schedules are numbered 1..3, or named by their day rate.
int parseSchedule(const std::string& text) {
    const bool digitsOnly = text.find_first_not_of("0123456789") == std::string::npos;
    if (digitsOnly && text.size() == 1 && text >= "1" && text <= "3") return text[0] - '0';
    if (text.find('.') != std::string::npos) {
        try {
            std::size_t used = 0;
            const double rate = std::stod(text, &used);
            for (int s = 0; s < kScheduleCount; ++s) {
                if (used == text.size() && rate == kFillRateSchedules[s].dayRate) return s + 1;
            }
        } catch (const std::exception&) {
        }
    }
    const std::string why =
        digitsOnly && !text.empty() && text.find_first_not_of('0') == std::string::npos
            ? "schedules are numbered from 1, not 0"
            : "\"" + text + "\" is not a schedule";
    throw CLI::ValidationError("--schedule", why +
                                                 "; give 1, 2 or 3, or the day rate 0.5, 1.0 or "
                                                 "1.5 (ml/min)");
}

void addProgramOptions(CLI::App& app, CliOptions& o) {
    const std::string group = "Program";
    addFlag(app, "--help", o.help, "print this help and exit")->group(group);
    addFlag(app, "--version", o.version, "print the version and exit")->group(group);
    addText(app, "--data", o.dataFile, "data file of standard values (default: the installed one)",
            "FILE")
        ->group(group);
}

void addRadiopharmaceuticalOptions(CLI::App& app, CliOptions& o) {
    const std::string group = "Radiopharmaceutical";
    addFlag(app, "--list", o.list, "print the twenty standards as the input window shows them")
        ->group(group);
    addFlag(app, "--all", o.all, "with --list: the library's entries too, with confidence marks")
        ->group(group);
    addText(app, "--standard", o.standard,
            "standard K (0..19) or its name in any case, with the nuclide\n"
            "written either way, e.g. \"Tc-99m DTPA\" or \"99mTc dtpa\"",
            "K")
        ->group(group);
    addText(app, "--agent", o.agent,
            "the library entry NAME (name or alias as typed, e.g. \"Pluvicto\")", "NAME")
        ->group(group);
    for (int f = 0; f < kFieldCount; ++f) {
        addText(app, std::string("--") + kFieldOptionNames[f], o.fields[f], fieldCaption(f),
                "NUMBER")
            ->group(group);
    }
    addText(app, "--name", o.name, "radiopharmaceutical name for the report")->group(group);
}

void addOutputOptions(CLI::App& app, CliOptions& o) {
    const std::string group = "Output";
    addText(
        app, "--schedule", [&o](const std::string& text) { o.schedule = parseSchedule(text); },
        "schedule 1, 2, 3 (or its day rate 0.5, 1.0, 1.5 ml/min) only:\n"
        "its report and dose table, or its --csv rows",
        "S")
        ->group(group);
    addFlag(app, "--csv", o.csv,
            "print CSV rows: schedule, V0, T0, dose, the day/night rates and the\n"
            "name (with --scenario: the time course)")
        ->group(group);
    addFlag(app, "--estimate", o.estimate, "print the calculation time estimate")->group(group);
    addFlag(app, "--json", o.json,
            "print the calculation as JSON: every input, the grids, the 189 doses\n"
            "at full precision, the program version and the time (with --scenario:\n"
            "the scenario's result)")
        ->group(group);
    addText(app, "--output", o.output, "write the output to FILE (atomically) instead", "FILE")
        ->group(group);
}

void addScenarioOptions(CLI::App& app, CliOptions& o) {
    const std::string group = "Patient scenario";
    addText(app, "--scenario", o.scenario,
            "compute the scenario file FILE (- reads standard input):\n"
            "its description, dose and void list",
            "FILE")
        ->group(group);
    addText(
        app, "--time-course",
        [&o](const std::string& text) {
            const LeadingNumber step = readLeadingNumber(text);
            if (step.length != text.size() || !std::isfinite(step.value) || step.value <= 0) {
                throw CLI::ValidationError(
                    "--time-course", "expected a positive step in minutes, not \"" + text + "\"");
            }
            o.timeCourse = step.value;
        },
        "add the time course, sampled every STEP min and at every\n"
        "void, to --json (--csv samples every 5 min unless given)",
        "STEP")
        ->group(group);
}

std::unique_ptr<CliParser> makeParser() {
    auto parser = std::make_unique<CliParser>();
    CLI::App& app = parser->app;
    app.set_help_flag();
    app.footer(kFooter);
    app.get_formatter()->column_width(28);
    addProgramOptions(app, parser->options);
    addRadiopharmaceuticalOptions(app, parser->options);
    addOutputOptions(app, parser->options);
    addScenarioOptions(app, parser->options);
    addBatchOptions(app, parser->options);
    addPatientOption(app, parser->options);
    return parser;
}

void checkScenarioModes(const CliOptions& o) {
    if (!o.scenario) {
        if (o.timeCourse) throw UsageError("--time-course goes with --scenario");
        return;
    }
    bool fields = false;
    for (const auto& field : o.fields) fields = fields || field.has_value();
    if (o.list || o.estimate || o.schedule || o.standard || o.agent || o.name || fields) {
        throw UsageError(
            "--scenario takes its radiopharmaceutical from the file; it excludes --list, "
            "--estimate, --schedule, --standard, --agent, --name and the field options");
    }
    if (o.json && o.csv) throw UsageError("--json and --csv exclude each other");
    if (o.timeCourse && !o.json && !o.csv) {
        throw UsageError("--time-course goes with --json or --csv");
    }
}

void checkModes(const CliOptions& o) {
    checkBatchModes(o);
    checkPatientMode(o);
    checkScenarioModes(o);
    if (o.all && !o.list) throw UsageError("--all goes with --list");
    if (o.standard && o.agent) throw UsageError("--standard and --agent exclude each other");
    const bool table = o.csv || o.schedule.has_value();
    if ((o.list ? 1 : 0) + (o.estimate ? 1 : 0) + (o.json ? 1 : 0) + (table ? 1 : 0) > 1) {
        throw UsageError(
            "--list, --estimate, --json and the table outputs (--schedule, --csv) exclude "
            "each other");
    }
}

// "--flag=value" and "--option=" (CLI11 would take the next argument as the value).
void refuseAttachedValue(const CLI::App& app, const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (argument.rfind("--", 0) != 0 || equals == std::string::npos) return;
    const std::string name = argument.substr(0, equals);
    const CLI::Option* option = app.get_option_no_throw(name);
    if (option == nullptr) return;
    if (option->get_expected_max() == 0) throw UsageError(name + " takes no value");
    if (equals + 1 == argument.size()) throw UsageError(name + ": the value is empty");
}

// Each warning on err, a line each; the texts may hold what the user typed.
void tellWarnings(std::ostream& err, const std::vector<Warning>& warnings) {
    for (const Warning& w : warnings) {
        err << "orvane-cli: warning: " << escapeControlCharacters(w.message) << "\n";
    }
}

std::string listText(const Workbench& workbench, bool all) {
    std::ostringstream out;
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardFieldTexts texts = standardFieldTexts(workbench.data().library[i]);
        out << i << "\t" << texts.name;
        if (all) out << "\tconfidence " << standardDocumentation(i).confidence;
        out << "\n" << entryValueLines(texts);
    }
    if (all) out << libraryListText(workbench);
    return out.str();
}

std::filesystem::path dataFilePath(const CliOptions& o) {
    return o.dataFile ? std::filesystem::path(*o.dataFile) : dataFilePathFor(executableDirectory());
}

// What --json records of where and when it ran.
CalculationOrigin cliOrigin(const CliOptions& o) {
    return {"orvane-cli", dataFilePath(o), std::chrono::system_clock::now()};
}

// The fields as the input window would hold them: a standard's or entry's displayed texts,
// then whatever was typed over them; and what was chosen, if anything.
struct TypedFields {
    FieldTexts fields{};
    std::string name;
    std::optional<ResolvedEntry> chosen;
};
TypedFields typedFields(const CliOptions& o, const Workbench& workbench) {
    TypedFields typed;
    if (o.agent) typed.chosen = resolveOption(workbench, *o.agent, "--agent");
    if (o.standard) {
        typed.chosen = resolveOption(workbench, *o.standard, "--standard");
        if (typed.chosen->origin != EntryOrigin::Standard) {
            throw UsageError("--standard: no standard \"" + *o.standard + "\"; it names the " +
                             "library entry \"" + typed.chosen->entry.name() + "\" (use --agent)");
        }
    }
    if (typed.chosen) {
        const StandardFieldTexts texts = standardFieldTexts(typed.chosen->entry.values);
        typed.fields = texts.fields;
        typed.name = texts.name;
    }
    for (int f = 0; f < kFieldCount; ++f) {
        if (o.fields[f]) typed.fields[f] = *o.fields[f];
    }
    if (o.name) typed.name = *o.name;
    return typed;
}

// The dose-table modes: the results file, one schedule's report and table, or CSV rows.
// Warnings about doubtful input go to err once the input has passed the checks.
std::string tableText(const CliOptions& o, const Workbench& workbench, std::ostream& err) {
    const TypedFields typed = typedFields(o, workbench);
    const FieldTexts& fields = typed.fields;
    const ModelTables& tables = workbench.data().tables;
    const auto warnings = [&] {
        return workbench.tableWarnings(fields, typed.chosen ? &*typed.chosen : nullptr,
                                       o.schedule ? std::optional(*o.schedule - 1) : std::nullopt);
    };
    if (o.estimate) {
        const std::string estimate = EstimateCalculationTime(fields, tables).text + "\n";
        tellWarnings(err, warnings());
        return estimate;
    }
    const DoseResults results = RunCalculation(fields, typed.name, tables);
    const std::vector<Warning> told = warnings();
    tellWarnings(err, told);
    if (o.csv) return doseTablesCsv(results, o.schedule);
    if (o.json) {
        return tableCalculationJson(fields, results, cliOrigin(o), told);
    }
    if (o.schedule) {
        const ScheduleView view = RenderSchedule(results, *o.schedule - 1);
        return view.report + view.table;
    }
    return resultsFileText(results);
}

// A scenario file with an "uncertainty" section: the scenario's report, JSON or (with --csv)
// the samples, with the analysis added. Both cores share the samples of a long run.
std::string scenarioUncertaintyText(const CliOptions& o, UncertaintyPlan plan,
                                    const Scenario& scenario, const QuadratureRule& rule,
                                    const std::vector<Warning>& warnings) {
    if (o.csv && o.timeCourse)
        throw UsageError("--csv prints the uncertainty samples; --time-course goes with --json");
    plan.options.threads = defaultSamplingThreads(plan.options.samples);
    UncertaintyResult analysis;
    try {
        analysis = runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
    } catch (const std::invalid_argument& e) {
        throw ScenarioError("uncertainty", e.what());
    }
    if (o.csv) return uncertaintySamplesCsv(plan.inputs, analysis);
    const ScenarioResult result = computeScenario(scenario, rule, o.timeCourse);
    if (o.json) {
        return scenarioResultJsonText(scenario, result, warnings, cliOrigin(o), &plan.inputs,
                                      &analysis);
    }
    return scenarioReportText(scenario, result, warnings) + "\n" +
           uncertaintyText(plan.inputs, plan.options, analysis);
}

// The scenario's report, JSON or time-course CSV; its warnings go to err in every form.
std::string scenarioText(const CliOptions& o, const Workbench& workbench, std::istream* in,
                         std::ostream& err) {
    // Standard input is read with the same cap as a file, and parsed as strictly.
    const bool standardInput = *o.scenario == "-";
    const std::string name = standardInput ? "standard input" : *o.scenario;
    if (standardInput && in == nullptr) throw FileReadError(name, "cannot read: no standard input");
    const std::string text =
        standardInput ? readJsonStreamText(*in, name) : readScenarioText(*o.scenario);
    const ModelTables& tables = workbench.data().tables;
    checkGrids(tables);
    const ScenarioDocument document = ScenarioDocument::parse(text, name);
    if (hasFitSections(document)) {
        std::vector<Warning> fitWarnings;
        std::string fitText = scenarioFitText(o, workbench, document, fitWarnings, cliOrigin(o));
        tellWarnings(err, fitWarnings);
        return fitText;
    }
    const ScenarioInput input = workbench.readScenario(document);
    const Scenario& scenario = input.scenario;
    const QuadratureRule rule{tables.quadratureNodes, tables.quadratureWeights};
    const std::optional<double> step =
        o.csv ? o.timeCourse.value_or(kDefaultTimeCourseStep) : o.timeCourse;
    const ScenarioResult result = computeScenario(scenario, rule, step);
    const std::vector<Warning> warnings = workbench.scenarioWarnings(input, result);
    tellWarnings(err, warnings);
    if (std::optional<UncertaintyPlan> plan = workbench.uncertaintyPlan(document, scenario))
        return scenarioUncertaintyText(o, std::move(*plan), scenario, rule, warnings);
    if (o.csv) return timeCourseCsv(scenario, result);
    if (o.json) return scenarioResultJsonText(scenario, result, warnings, cliOrigin(o));
    return scenarioReportText(scenario, result, warnings);
}

// The text that the options ask for. Throws the errors of the layers below.
std::string outputText(const CliOptions& o, std::istream* in, std::ostream& err) {
    if (o.help) return cliUsage();
    if (o.version) return std::string("orvane-cli ") + kVersion + "\n";
    const Workbench workbench = cliWorkbench(LoadStandardData(dataFilePath(o)));
    if (o.list && o.all) {
        for (const std::string& problem : workbench.problems()) {
            err << "orvane-cli: warning: " << escapeControlCharacters(problem) << "\n";
        }
    }
    if (o.list) return listText(workbench, o.all);
    if (o.patient) return patientModeText(o, workbench);
    if (o.scenario) return scenarioText(o, workbench, in, err);
    return tableText(o, workbench, err);
}

// A message on err, one line: names and options come from the user, so every control
// character in it is escaped.
void tell(std::ostream& err, const std::string& message) {
    err << "orvane-cli: " << escapeControlCharacters(message) << "\n";
}

// Writes the text to the --output file or to out; false with a message on err on failure.
bool deliver(const CliOptions& o, const std::string& text, std::ostream& out, std::ostream& err) {
    if (o.output) {
        const WriteOutcome outcome = writeFileAtomically(*o.output, text, "the output file");
        if (!outcome.ok) tell(err, outcome.message);
        return outcome.ok;
    }
    out << text;
    out.flush();
    if (!out) tell(err, "cannot write to standard output");
    return static_cast<bool>(out);
}

}  // namespace

CliOptions parseCliArguments(const std::vector<std::string>& arguments) {
    const std::unique_ptr<CliParser> parser = makeParser();
    for (const std::string& argument : arguments) refuseAttachedValue(parser->app, argument);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        parser->app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // CLI11 says "--x: At Most 1 required but received 2" for a repeated option.
        const std::string message = e.what();
        if (message.find("At Most") == std::string::npos) throw UsageError(message);
        throw UsageError(message.substr(0, message.find(':')) + ": given more than once");
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    checkModes(parser->options);
    return parser->options;
}

std::string cliUsage() {
    return makeParser()->app.help();
}

int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           std::istream* in) {
    CliOptions options;
    std::string text;
    try {
        options = parseCliArguments(arguments);
        if (options.batch && !options.help && !options.version)
            return runBatchMode(options, dataFilePath(options), in, out, err);
        text = outputText(options, in, err);
    } catch (const FileReadError& e) {  // a scenario file: "FILE: cannot read: ..."
        tell(err, e.what());
        return kCliFileError;
    } catch (const ScenarioError& e) {  // and JsonError: a refused scenario file's text
        tell(err, std::string("refused: ") + e.what());
        return kCliRefused;
    } catch (const UsageError& e) {
        tell(err, e.what());
        err << "Try 'orvane-cli --help'.\n";
        return kCliRefused;
    } catch (const DataFileError& e) {
        tell(err, e.what());
        return kCliFileError;
    } catch (const InputError& e) {
        tell(err, std::string("refused: ") + e.what());
        return kCliRefused;
    } catch (const GridError& e) {
        tell(err, e.what());
        return kCliFileError;
    } catch (const CalculationError& e) {
        tell(err, e.what());
        return kCliRefused;
    }
    return deliver(options, text, out, err) ? kCliOk : kCliFileError;
}

}  // namespace orvane
