#include "cli/batch_mode.h"

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/agents.h"
#include "engine/atomic_file.h"
#include "engine/numtext.h"
#include "engine/plain_text.h"
#include "library/batch.h"
#include "library/batch_file.h"
#include "library/scenario_file.h"
#include "report/fit_report.h"
#include "report/uncertainty_report.h"

namespace orvane {
namespace {

// The output could not be written; the run stops.
struct OutputFailed {};

// "[#########...........]  41 % 41000/100000 lines  9500/s  6 s left", redrawn in place.
std::string progressLine(const BatchProgress& p) {
    std::string text = "\r";
    if (p.total && *p.total > 0) {
        const double share = std::min(1.0, static_cast<double>(p.done) / *p.total);
        const auto filled = static_cast<std::size_t>(std::floor(share * 20));
        text += "[" + std::string(filled, '#') + std::string(20 - filled, '.') + "] " +
                formatWhole(std::floor(share * 100)) + " % " + std::to_string(p.done) + "/" +
                std::to_string(*p.total) + " lines";
    } else {
        text += std::to_string(p.done) + " lines";
    }
    text += "  " + formatWhole(p.rate) + "/s";
    if (p.secondsLeft) text += "  " + formatWhole(*p.secondsLeft) + " s left";
    return text + "\033[K";
}

}  // namespace

void addBatchOptions(CLI::App& app, CliOptions& o) {
    const std::string group = "Cohort";
    auto once = [](CLI::Option* option) {
        return option->multi_option_policy(CLI::MultiOptionPolicy::Throw)->group("Cohort");
    };
    once(app.add_option("--batch", o.batch,
                        "compute every scenario of FILE (- reads standard input): JSON\n"
                        "Lines, one scenario object per line, or with --template a CSV\n"
                        "whose columns are key paths; one JSON line per record (--csv:\n"
                        "a table), in input order")
             ->type_name("FILE"));
    once(app.add_option("--template", o.batchTemplate,
                        "with --batch: the scenario file that each CSV row overrides")
             ->type_name("BASE.json"));
    once(app.add_option("--threads", o.threads, "with --batch: threads (default: every core)")
             ->type_name("N")
             ->check(CLI::Range(1u, 1024u)));
}

void checkBatchModes(const CliOptions& o) {
    if (!o.batch) {
        if (o.batchTemplate || o.threads)
            throw UsageError("--template and --threads go with --batch");
        return;
    }
    bool fields = false;
    for (const auto& field : o.fields) fields = fields || field.has_value();
    if (o.scenario || o.list || o.estimate || o.schedule || o.standard || o.agent || o.name ||
        fields || o.json || o.timeCourse) {
        throw UsageError(
            "--batch takes everything from its records; it excludes --scenario, --list, "
            "--estimate, --schedule, --standard, --agent, --name, --json, --time-course and "
            "the field options");
    }
    if (o.batch->empty() || (o.batchTemplate && o.batchTemplate->empty()))
        throw UsageError("--batch and --template need a file name");
}

int runBatchMode(const CliOptions& o, const std::filesystem::path& dataFile, std::istream* in,
                 std::ostream& out, std::ostream& err) {
    const StandardData data = LoadStandardData(dataFile);
    checkGrids(data.tables);
    std::ifstream file;
    std::istream* input = in;
    if (*o.batch != "-") {
        file.open(*o.batch, std::ios::binary);
        if (!file || std::filesystem::is_directory(*o.batch))
            throwUnreadable(*o.batch, "cannot be read");
        input = &file;
    } else if (input == nullptr) {
        throwUnreadable("standard input", "cannot be read");
    }
    std::unique_ptr<BatchSource> source = openBatchSource(*input, *o.batch, o.batchTemplate);

    const Workbench workbench = cliWorkbench(data);
    const BatchCompute compute = scenarioBatchCompute(workbench, uncertaintyJson, fitJson);

    BatchOptions options;
    options.threads = o.threads.value_or(0);
    options.format = o.csv ? BatchFormat::Csv : BatchFormat::JsonLines;
    const bool terminal = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    if (terminal) {
        if (*o.batch != "-") options.total = countLines(*o.batch);
        options.progress = [&err](const BatchProgress& p) { err << progressLine(p) << std::flush; };
    }

    BatchSummary summary;
    // False as soon as a write fails: the run stops there.
    auto run = [&](const AtomicWrite& write) {
        try {
            if (o.csv && !write(batchCsvHeader())) return false;
            summary = runBatch(
                *source, compute,
                [&](BatchOutput&& output) {
                    if (!write(output.text)) throw OutputFailed{};
                },
                options);
        } catch (const OutputFailed&) {
            return false;
        }
        return true;
    };
    bool written = true;
    std::string failure = "cannot write to standard output";
    if (o.output) {
        const WriteOutcome outcome = writeFileAtomically(*o.output, run, "the output file");
        written = outcome.ok;
        failure = outcome.message;
    } else {
        written = run([&out](std::string_view bytes) { return static_cast<bool>(out << bytes); });
        written = written && static_cast<bool>(out.flush());
    }
    if (terminal) err << "\n";
    if (!written) {
        err << "orvane-cli: " << escapeControlCharacters(failure) << "\n";
        return kCliFileError;
    }
    err << "orvane-cli: " << summary.computed << " computed, " << summary.failed << " failed\n";
    return summary.failed == 0 ? kCliOk : kCliSomeFailed;
}

}  // namespace orvane
