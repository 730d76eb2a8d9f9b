#include "library/batch_file.h"

#include <fstream>

#include "library/csv_template.h"
#include "library/scenario_file.h"

namespace orvane {
namespace {

struct Cancelled {};
struct OutputFailed {};

}  // namespace

std::unique_ptr<BatchSource> openBatchSource(std::istream& input, const std::string& name,
                                             const std::optional<std::string>& templateFile) {
    if (!templateFile) return std::make_unique<JsonLinesSource>(input, name);
    nlohmann::json base;
    try {
        base = parseScenarioJson(readScenarioText(*templateFile));
    } catch (const ScenarioError& e) {
        throw ScenarioError("template " + *templateFile + ": " + e.path(), e.reason());
    }
    return std::make_unique<CsvTemplateSource>(input, name, std::move(base));
}

CohortFileOutcome runCohortFile(const Workbench& workbench, const UncertaintySummary& summary,
                                const CohortFileRun& run, const FitSummary& fitSummary) {
    const std::string name = run.input.string();
    std::ifstream file(run.input, std::ios::binary);
    if (!file || std::filesystem::is_directory(run.input)) throwUnreadable(name, "cannot be read");
    std::optional<std::string> templateFile;
    if (run.templateFile) templateFile = run.templateFile->string();
    const std::unique_ptr<BatchSource> source = openBatchSource(file, name, templateFile);
    const BatchCompute scenario = scenarioBatchCompute(workbench, summary, fitSummary);
    // Once cancelled, the records still queued are skipped, not computed.
    const BatchCompute compute = [&](const nlohmann::json& document, std::size_t line) {
        if (run.cancel && run.cancel->load()) return BatchRecord{{}, BatchError{"", "cancelled"}};
        return scenario(document, line);
    };

    BatchOptions options;
    options.threads = run.threads;
    options.format = BatchFormat::Csv;
    options.total = countLines(name);
    options.progress = run.progress;
    CohortFileOutcome outcome;
    outcome.written = writeFileAtomically(
        run.output,
        [&](const AtomicWrite& write) {
            if (!write(batchCsvHeader())) return false;
            try {
                outcome.summary = runBatch(
                    *source, compute,
                    [&](BatchOutput&& output) {
                        if (run.cancel && run.cancel->load()) throw Cancelled{};
                        if (!write(output.text)) throw OutputFailed{};
                    },
                    options);
            } catch (const Cancelled&) {
                outcome.cancelled = true;
                return false;
            } catch (const OutputFailed&) {
                return false;
            }
            return true;
        },
        "the results file");
    return outcome;
}

}  // namespace orvane
