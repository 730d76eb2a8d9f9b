// orvane-cli --batch: a cohort of scenarios, one result per record (library/batch.h).
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iosfwd>

#include "cli/cli.h"

namespace orvane {

// --batch, --template and --threads, in the group "Cohort".
void addBatchOptions(CLI::App& app, CliOptions& options);

// Refuses options that do not go with --batch, and --template or --threads without it.
void checkBatchModes(const CliOptions& options);

// Runs the cohort: results to out (or the --output file, atomically), the progress (when err
// is the terminal's standard error) and the summary "N computed, M failed" to err. Returns
// kCliOk, kCliSomeFailed, or kCliFileError when the output cannot be written; throws the
// errors of a template or input that cannot be read at all.
int runBatchMode(const CliOptions& options, const std::filesystem::path& dataFile, std::istream* in,
                 std::ostream& out, std::ostream& err);

}  // namespace orvane
