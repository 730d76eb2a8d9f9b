#include "library/batch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <fstream>
#include <istream>
#include <limits>
#include <mutex>
#include <thread>

#include "engine/numtext.h"
#include "engine/scenario.h"
#include "library/scenario_run.h"
#include "library/uncertainty_file.h"

namespace orvane {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

bool blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The record's id (removed from the object), or the line number as text.
std::string takeId(json& scenario, std::size_t line) {
    if (!scenario.is_object()) return std::to_string(line);
    const auto it = scenario.find("id");
    if (it == scenario.end()) return std::to_string(line);
    std::string id;
    if (it->is_string()) {
        id = it->get<std::string>();
    } else if (it->is_number_integer() || it->is_number_unsigned()) {
        id = it->dump();
    } else {
        throw ScenarioError("id", "expected a text or a whole number");
    }
    scenario.erase(it);
    return id;
}

// One record from item to output (the worker's whole job).
BatchOutput process(const BatchSource& source, const BatchCompute& compute, BatchItem& item,
                    BatchFormat format) {
    BatchOutput out;
    out.line = item.line;
    out.id = item.id.empty() ? std::to_string(item.line) : item.id;
    try {
        if (!item.problem.empty()) throw ScenarioError("", item.problem);
        json scenario = source.scenarioOf(item);
        out.id = takeId(scenario, item.line);
        out.record = compute(scenario, item.line);
    } catch (const ScenarioError& e) {
        out.record = {ordered_json::object(), BatchError{e.path(), e.reason()}};
    } catch (const std::exception& e) {
        out.record = {ordered_json::object(), BatchError{"", e.what()}};
    }
    if (format == BatchFormat::JsonLines) out.text = batchJsonLine(out);
    if (format == BatchFormat::Csv) out.text = batchCsvRow(out);
    return out;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

const ordered_json* member(const ordered_json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// The window of records between the reading thread and the workers.
class Pipeline {
public:
    Pipeline(BatchSource& source, const BatchCompute& compute, const BatchOptions& options)
        : source_(source), compute_(compute), format_(options.format) {
        unsigned threads = options.threads;
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        capacity_ = options.window ? options.window : std::size_t{64} * threads;
        for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    }
    ~Pipeline() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    // Reads while the window has room; false once the input is exhausted.
    bool fill() {
        while (true) {
            {
                std::lock_guard lock(mutex_);
                if (slots_.size() >= capacity_) return true;
            }
            BatchItem item;
            if (!source_.next(item)) return false;
            {
                std::lock_guard lock(mutex_);
                slots_.push_back({std::move(item), {}, false});
            }
            work_.notify_one();
        }
    }

    // The oldest record's output once it is done (waiting for it when `wait`); nullopt when
    // the window is empty or (without waiting) the oldest is not done.
    std::optional<BatchOutput> take(bool wait) {
        std::unique_lock lock(mutex_);
        if (wait) done_.wait(lock, [&] { return slots_.empty() || worthTaking(); });
        if (slots_.empty() || !slots_.front().done) return std::nullopt;
        BatchOutput out = std::move(slots_.front().output);
        slots_.pop_front();
        --claimed_;
        --finished_;
        return out;
    }

private:
    struct Slot {
        BatchItem item;
        BatchOutput output;
        bool done = false;
    };

    // The oldest record is done, and so are a quarter of the window's or all that the workers
    // have: the reading thread is woken for a run of records, not for each one.
    bool worthTaking() const {
        return slots_.front().done && (finished_ * 4 >= capacity_ || claimed_ == slots_.size() ||
                                       slots_.size() < capacity_);
    }

    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            work_.wait(lock, [&] { return stop_ || claimed_ < slots_.size(); });
            if (stop_) return;
            // A deque keeps its elements in place while others are added or removed at the
            // ends, and a slot is removed only once done.
            Slot& slot = slots_[claimed_++];
            lock.unlock();
            BatchOutput output = process(source_, compute_, slot.item, format_);
            slot.item = {};
            lock.lock();
            slot.output = std::move(output);
            slot.done = true;
            ++finished_;
            if (worthTaking()) done_.notify_one();
        }
    }

    BatchSource& source_;
    const BatchCompute& compute_;
    BatchFormat format_;
    std::size_t capacity_ = 0;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<Slot> slots_;
    std::size_t claimed_ = 0;   // slots_[0, claimed_) are taken by a worker
    std::size_t finished_ = 0;  // slots done and not yet taken
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace

JsonLinesSource::JsonLinesSource(std::istream& in, std::string name)
    : in_(in), name_(std::move(name)) {}

bool JsonLinesSource::next(BatchItem& item) {
    std::string text;
    while (std::getline(in_, text)) {
        ++line_;
        if (line_ == 1 && text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        if (blank(text)) continue;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        item = BatchItem{};
        item.line = line_;
        item.text = std::move(text);
        return true;
    }
    if (in_.bad()) throwUnreadable(name_, "reading failed");
    return false;
}

json JsonLinesSource::scenarioOf(BatchItem& item) const {
    try {
        return parseScenarioJson(item.text);
    } catch (const ScenarioError& e) {
        // The record is one line: its column is the position.
        const std::string prefix = "line 1, ";
        if (e.path().rfind(prefix, 0) == 0)
            throw ScenarioError(e.path().substr(prefix.size()), e.reason());
        throw;
    }
}

json ItemSource::scenarioOf(BatchItem& item) const {
    if (!item.file.empty()) return parseScenarioJson(readScenarioText(item.file));
    return parseScenarioJson(item.text);
}

std::string batchJsonLine(const BatchOutput& output) {
    auto dump = [](const ordered_json& value) {
        return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
    };
    const ordered_json& values = output.record.values;
    ordered_json error;
    if (output.record.error) {
        error = {
            {"error",
             {{"path", output.record.error->path}, {"message", output.record.error->message}}}};
    } else if (!values.is_object() || values.contains("line") || values.contains("id")) {
        ordered_json record = {{"line", output.line}, {"id", output.id}};
        for (const auto& [key, value] : values.items()) record[key] = value;
        return dump(record) + "\n";
    }
    // The members after "line" and "id" are dumped where they are, not copied into the record.
    std::string text = "{\"line\":" + std::to_string(output.line) + ",\"id\":" + dump(output.id);
    const std::string rest = dump(output.record.error ? error : values);
    if (rest.size() > 2) text += ',';
    text.append(rest, 1);
    return text + "\n";
}

std::string batchCsvHeader() {
    return "line,id,dose_mGy_per_MBq,p2.5,p50,p97.5,warnings,error\n";
}

BatchRow batchRow(const BatchOutput& output) {
    const ordered_json& values = output.record.values;
    const ordered_json* percentiles = nullptr;
    if (const ordered_json* uncertainty = member(values, "uncertainty"))
        percentiles = member(*uncertainty, "percentiles");
    else if (const ordered_json* fit = member(values, "fit"))
        percentiles = member(*fit, "dose_interval");
    auto number = [](const ordered_json* value) {
        return value && value->is_number() ? value->get<double>()
                                           : std::numeric_limits<double>::quiet_NaN();
    };
    auto percentile = [&](const char* key) {
        return number(percentiles ? member(*percentiles, key) : nullptr);
    };
    BatchRow row{number(member(values, "dose_mGy_per_MBq")),
                 percentile("2.5"),
                 percentile("50"),
                 percentile("97.5"),
                 0,
                 {}};
    const ordered_json* warnings = member(values, "warnings");
    row.warnings = warnings && warnings->is_array() ? warnings->size() : 0;
    if (output.record.error) {
        const BatchError& e = *output.record.error;
        row.error = e.path.empty() ? e.message : e.path + ": " + e.message;
    }
    return row;
}

std::string batchCsvRow(const BatchOutput& output) {
    const BatchRow row = batchRow(output);
    auto number = [](double value) {
        return std::isnan(value) ? std::string() : formatRoundTrip(value);
    };
    return std::to_string(output.line) + "," + csvField(output.id) + "," + number(row.dose) + "," +
           number(row.p2_5) + "," + number(row.p50) + "," + number(row.p97_5) + "," +
           (output.record.error ? std::string() : std::to_string(row.warnings)) + "," +
           csvField(row.error) + "\n";
}

BatchSummary runBatch(BatchSource& source, const BatchCompute& compute,
                      const std::function<void(BatchOutput&&)>& sink, const BatchOptions& options) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point shown = start;
    BatchSummary summary;
    std::size_t lineDone = 0;
    auto report = [&](bool last) {
        const Clock::time_point now = Clock::now();
        if (!options.progress || (!last && now - shown < std::chrono::milliseconds(200))) return;
        shown = now;
        BatchProgress p;
        p.done = last && options.total ? std::max(lineDone, *options.total) : lineDone;
        p.total = options.total;
        const double seconds = std::chrono::duration<double>(now - start).count();
        p.rate = seconds > 0 ? static_cast<double>(p.done) / seconds : 0.0;
        if (p.total && p.rate > 0 && *p.total >= p.done)
            p.secondsLeft = static_cast<double>(*p.total - p.done) / p.rate;
        options.progress(p);
    };
    Pipeline pipeline(source, compute, options);
    bool more = true;
    while (true) {
        if (more) more = pipeline.fill();
        // When the window is full or the input is over, wait for the oldest record.
        std::optional<BatchOutput> out = pipeline.take(true);
        if (!out) break;
        while (out) {
            lineDone = out->line;
            ++(out->record.error ? summary.failed : summary.computed);
            sink(std::move(*out));
            out = pipeline.take(false);
        }
        report(false);
    }
    report(true);
    return summary;
}

BatchCompute scenarioBatchCompute(const Workbench& workbench, UncertaintySummary summary,
                                  FitSummary fitSummary) {
    return [&workbench, summary = std::move(summary), fitSummary = std::move(fitSummary)](
               const json& document, std::size_t) {
        // Each worker thread keeps its workspace: a cohort's diaries share many segments.
        thread_local ScenarioWorkspace workspace;
        // The whole result, not just the dose: the warnings look at the bladder's volumes.
        ScenarioRunOptions options;
        options.fitThreads = 1;
        options.workspace = &workspace;
        const ScenarioOutcome run = runScenarioDocument(workbench, document, options);
        const Scenario& scenario = run.input.scenario;
        BatchRecord record;
        std::optional<json> uncertainty;
        if (!run.fit && document.contains("uncertainty")) {
            UncertaintyPlan plan =
                readUncertaintySection(document["uncertainty"], document, scenario);
            plan.options.threads = 1;
            const ModelTables& tables = workbench.data().tables;
            const QuadratureRule rule{tables.quadratureNodes, tables.quadratureWeights};
            UncertaintyResult analysis;
            try {
                analysis =
                    runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
            } catch (const std::invalid_argument& e) {
                throw ScenarioError("uncertainty", e.what());
            }
            if (summary) uncertainty = summary(plan.inputs, analysis);
        }
        record.values["dose_mGy_per_MBq"] = run.result.dose;
        record.values["activity_left_fraction"] = run.result.activityLeft;
        ordered_json warnings = ordered_json::array();
        for (const Warning& w : run.warnings) {
            warnings.push_back({{"path", w.path}, {"message", w.message}});
        }
        record.values["warnings"] = std::move(warnings);
        if (uncertainty) record.values["uncertainty"] = ordered_json(*uncertainty);
        if (run.fit && fitSummary) {
            json fit = fitSummary(*run.fit);
            fit.erase("residuals");
            record.values["fit"] = ordered_json(fit);
        }
        return record;
    };
}

void throwUnreadable(const std::string& file, const std::string& reason) {
    throw FileReadError(file, "cannot read: " + reason);
}

std::optional<std::size_t> countLines(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::size_t lines = 0;
    char last = '\n';
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount()) {
        const auto got = static_cast<std::size_t>(in.gcount());
        lines += static_cast<std::size_t>(std::count(buffer.data(), buffer.data() + got, '\n'));
        last = buffer[got - 1];
    }
    if (in.bad()) return std::nullopt;
    return lines + (last != '\n' ? 1 : 0);
}

}  // namespace orvane
