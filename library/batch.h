// Cohorts: many scenarios in one run. A source yields records (a JSON Lines line, a CSV row),
// worker threads turn each into a scenario object and compute it, and the results come out
// one per record, in input order, whatever the thread count. The input is streamed and only a
// bounded window of records is held, so the memory does not grow with the cohort.
//
// Records and their numbers:
// - "line" is the line of the input where the record starts (1-based). In JSON Lines a blank
//   line (nothing but blanks) yields no record but still counts, so "line" is always the
//   line a text editor shows. In a CSV the header is line 1.
// - "id" is the scenario object's "id" (a text, or a whole number written as its digits),
//   removed before the scenario is read; without one it is the line number as text.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/fit.h"
#include "engine/sampling.h"
#include "library/scenario_file.h"
#include "library/standards.h"
#include "library/workbench.h"

namespace orvane {

// Why one record was not computed: its key path ("voiding.voids[2].at", "column 14" for a
// line that is not JSON, "" when no key is to blame) and the reason.
struct BatchError {
    std::string path;
    std::string message;
};

// What one record computed: its values, written after "line" and "id" in their order (e.g.
// "dose_mGy_per_MBq", "warnings", "uncertainty"), or the error.
struct BatchRecord {
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    std::optional<BatchError> error;
};

// Computes one scenario object (its "id" already removed). Called from several threads at
// once; a ScenarioError it throws becomes the record's error with its path, any other
// std::exception an error without a path.
using BatchCompute = std::function<BatchRecord(const nlohmann::json& scenario, std::size_t line)>;

// One record as read by the reading thread, not yet interpreted.
struct BatchItem {
    std::size_t line = 0;
    std::string id;                  // known before the record is read (a CSV's id cell)
    std::string text;                // JSON Lines: the line
    std::vector<std::string> cells;  // CSV: the row's fields
    std::string file;                // ItemSource: the scenario file this record is
    std::string problem;             // not empty: the record could not be read (why)
};

// Where the records come from. next() is called from one thread; scenarioOf() from several.
class BatchSource {
public:
    virtual ~BatchSource() = default;
    // The next record; false at the end. Throws ScenarioFileError when reading fails.
    virtual bool next(BatchItem& item) = 0;
    // The record's scenario object, "id" included; throws ScenarioError naming the key path.
    // The item is the worker's own and may be taken apart.
    virtual nlohmann::json scenarioOf(BatchItem& item) const = 0;
};

// JSON Lines from a stream: one scenario object per line; a final line without its line feed
// and CRLF line ends are read too, as is a UTF-8 byte-order mark before the first line.
class JsonLinesSource : public BatchSource {
public:
    JsonLinesSource(std::istream& in, std::string name);
    bool next(BatchItem& item) override;
    nlohmann::json scenarioOf(BatchItem& item) const override;

private:
    std::istream& in_;
    std::string name_;
    std::size_t line_ = 0;
};

// Records handed over in memory (the Python module's items), each made by `make` as it is
// read, while the workers compute the earlier ones; make returns false at the end. A record is
// the scenario file its item names, else its item's JSON text.
class ItemSource : public BatchSource {
public:
    explicit ItemSource(std::function<bool(BatchItem&)> make) : make_(std::move(make)) {}
    bool next(BatchItem& item) override { return make_(item); }
    nlohmann::json scenarioOf(BatchItem& item) const override;

private:
    std::function<bool(BatchItem&)> make_;
};

// One record's result, as the sink receives it; text is its formatted line (LF included)
// unless the format is None.
struct BatchOutput {
    std::size_t line = 0;
    std::string id;
    BatchRecord record;
    std::string text;
};

enum class BatchFormat { JsonLines, Csv, None };

// {"line", "id", values...} or {"line", "id", "error": {"path", "message"}} on one line;
// every number to the last bit, text that is not UTF-8 with U+FFFD.
std::string batchJsonLine(const BatchOutput& output);
// The --csv table: line, id, dose, the 2.5th, 50th and 97.5th percentiles of the uncertainty or
// of the fit's dose interval (a 95 % one: another interval has no such percentiles),
// the number of warnings and the error ("path: message"); numbers to 17 digits, empty when
// the record has none.
std::string batchCsvHeader();
// The figures of that table: NaN for a number the record has not, warnings 0 for an error.
struct BatchRow {
    double dose, p2_5, p50, p97_5;
    std::size_t warnings = 0;
    std::string error;  // "path: message", or the message; empty when computed
};
BatchRow batchRow(const BatchOutput& output);
std::string batchCsvRow(const BatchOutput& output);

struct BatchProgress {
    std::size_t done = 0;
    std::optional<std::size_t> total;  // when known
    double rate = 0.0;                 // records per second so far
    std::optional<double> secondsLeft;
};

struct BatchOptions {
    unsigned threads = 0;    // 0: one per core
    std::size_t window = 0;  // records held at most; 0: 64 per thread
    BatchFormat format = BatchFormat::JsonLines;
    std::optional<std::size_t> total;  // records expected, for the progress
    // Called from the calling thread about five times a second, and once at the end.
    std::function<void(const BatchProgress&)> progress;
};

struct BatchSummary {
    std::size_t computed = 0;
    std::size_t failed = 0;
};

// Runs every record of the source through compute and hands the results to sink in input
// order, on the calling thread. Rethrows (after stopping the workers) what next() or sink
// throws; a record's own failure only makes an error record.
BatchSummary runBatch(BatchSource& source, const BatchCompute& compute,
                      const std::function<void(BatchOutput&&)>& sink, const BatchOptions& options);

// The uncertainty section's summary as the front end writes it (e.g. report's uncertaintyJson).
using UncertaintySummary = std::function<nlohmann::json(const std::vector<UncertainInput>& inputs,
                                                        const UncertaintyResult& result)>;
// A fit's summary as the front end writes it (e.g. report's fitJson).
using FitSummary = std::function<nlohmann::json(const FitResult& fit)>;

// The scenario file's computation as orvane-cli --scenario does it (runScenarioDocument: names
// resolved through the workbench, a document with measurements fitted first and computed with
// the fitted kinetics), with the scenario's warnings and the summaries of its sections, each
// sampled on one thread (the batch's threads are the records'). Values: "dose_mGy_per_MBq",
// "activity_left_fraction", "warnings" ([{"path", "message"}]), "uncertainty" for a scenario with
// that section and "fit" for one with measurements: the fit's summary without its "residuals"
// (one per point; orvane-cli --scenario --csv gives them). A fit that does not converge is an
// error record at "fit". The workbench must outlive the function.
BatchCompute scenarioBatchCompute(const Workbench& workbench, UncertaintySummary summary,
                                  FitSummary fitSummary = nullptr);

// Throws FileReadError: `file` (a name, or "standard input") cannot be read, and why.
[[noreturn]] void throwUnreadable(const std::string& file, const std::string& reason);

// The lines of a file (what a progress bar takes as the total); nullopt when it cannot be read.
std::optional<std::size_t> countLines(const std::string& file);

}  // namespace orvane
