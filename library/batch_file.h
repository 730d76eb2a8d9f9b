// A cohort file through the batch runner (library/batch.h) with the results saved as the
// --csv table: what the window's File > Run cohort does, off its own thread.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "engine/atomic_file.h"
#include "library/batch.h"

namespace orvane {

// The records of input (named name in errors): JSON Lines, or with a template the rows of a
// CSV over it. Throws ScenarioError for a template or CSV header that cannot be used (a
// template's path starts with "template <file>: "), FileReadError for an unreadable template.
std::unique_ptr<BatchSource> openBatchSource(std::istream& input, const std::string& name,
                                             const std::optional<std::string>& templateFile);

struct CohortFileRun {
    std::filesystem::path input;
    std::optional<std::filesystem::path> templateFile;  // set: input is a CSV over it
    std::filesystem::path output;                       // the --csv table, written atomically
    unsigned threads = 0;                               // 0: one per core
    const std::atomic<bool>* cancel = nullptr;          // set to true: stop, write nothing
    std::function<void(const BatchProgress&)> progress;
};

struct CohortFileOutcome {
    BatchSummary summary;
    bool cancelled = false;  // the output was then left untouched
    WriteOutcome written;    // ok, or why the output could not be written
};

// Runs the cohort and saves the table; the input's line count is the progress's total. Throws
// what openBatchSource throws, and FileReadError when the input cannot be read.
// The fit's summary gives a scenario with measurements its dose interval's percentiles.
CohortFileOutcome runCohortFile(const Workbench& workbench, const UncertaintySummary& summary,
                                const CohortFileRun& run, const FitSummary& fitSummary = nullptr);

}  // namespace orvane
