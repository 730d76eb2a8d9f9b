#include "library/csv_template.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <istream>
#include <set>

#include "engine/numtext.h"
#include "engine/scenario.h"
#include "library/scenario_file.h"

namespace orvane {
namespace {

using nlohmann::json;
using Kind = CsvColumn::Kind;

// Every value a scenario file holds, "[]" standing for any list entry.
struct KnownPath {
    std::string_view path;
    Kind kind;
};
constexpr KnownPath kKnownPaths[] = {
    {"name", Kind::Text},
    {"radiopharmaceutical.standard", Kind::Any},
    {"radiopharmaceutical.library", Kind::Text},
    {"radiopharmaceutical.name", Kind::Text},
    {"radiopharmaceutical.components[].fraction", Kind::Number},
    {"radiopharmaceutical.components[].rate_constant", Kind::Number},
    {"radiopharmaceutical.components[].half_life", Kind::Number},
    {"radiopharmaceutical.physical_half_life", Kind::Number},
    {"radiopharmaceutical.delta", Kind::Number},
    {"radiopharmaceutical.gamma", Kind::Number},
    {"administration_time", Kind::Text},
    {"initial_volume", Kind::Number},
    {"residual_volume", Kind::Number},
    {"administered_activity", Kind::Number},
    {"fill_rate.day", Kind::Number},
    {"fill_rate.night", Kind::Number},
    {"fill_rate.night_from", Kind::Text},
    {"fill_rate.night_to", Kind::Text},
    {"fill_rate.steps[].from", Kind::Number},
    {"fill_rate.steps[].rate", Kind::Number},
    {"voiding.pattern", Kind::Text},
    {"voiding.first_void", Kind::Number},
    {"voiding.intervals", Kind::Number},
    {"voiding.interval", Kind::Number},
    {"voiding.bedtime", Kind::Text},
    {"voiding.wake", Kind::Text},
    {"voiding.voids[]", Kind::Number},
    {"voiding.voids[].at", Kind::Number},
    {"voiding.voids[].residual", Kind::Number},
    {"voiding.then.interval", Kind::Number},
    {"voiding.then.bedtime", Kind::Text},
    {"voiding.then.wake", Kind::Text},
    {"end_time", Kind::Number},
    {"uncertainty.samples", Kind::Number},
    {"uncertainty.seed", Kind::Number},
    {"uncertainty.vary", Kind::Text},
    {"id", Kind::Text},
};

bool keyCharacter(char c, bool first) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
           (!first && std::isdigit(static_cast<unsigned char>(c)));
}

// "a.b[2].c" as steps; nullopt unless keys are letters, digits and "_" and indices are digits.
std::optional<std::vector<CsvColumn::Step>> parsePath(std::string_view path) {
    std::vector<CsvColumn::Step> steps;
    std::size_t i = 0;
    while (i < path.size()) {
        if (path[i] == '[') {
            const std::size_t close = path.find(']', i);
            const std::string_view digits =
                close == std::string_view::npos ? "" : path.substr(i + 1, close - i - 1);
            if (steps.empty() || digits.empty() || digits.size() > 6 ||
                digits.find_first_not_of("0123456789") != std::string_view::npos)
                return std::nullopt;
            steps.push_back({{}, std::stol(std::string(digits))});
            i = close + 1;
            continue;
        }
        if (!steps.empty()) {
            if (path[i] != '.') return std::nullopt;
            ++i;
        }
        const std::size_t start = i;
        while (i < path.size() && keyCharacter(path[i], i == start)) ++i;
        if (i == start) return std::nullopt;
        steps.push_back({std::string(path.substr(start, i - start)), -1});
    }
    if (steps.empty()) return std::nullopt;
    return steps;
}

std::string pattern(const std::vector<CsvColumn::Step>& steps) {
    std::string text;
    for (const CsvColumn::Step& step : steps)
        text += step.index >= 0 ? "[]" : (text.empty() ? "" : ".") + step.key;
    return text;
}

std::string pathText(const std::vector<CsvColumn::Step>& steps, std::size_t count) {
    std::string text;
    for (std::size_t s = 0; s < count; ++s) {
        const CsvColumn::Step& step = steps[s];
        text += step.index >= 0 ? "[" + std::to_string(step.index) + "]"
                                : (text.empty() ? "" : ".") + step.key;
    }
    return text;
}

// The template's value at the path, if it holds one.
const json* templateValue(const json& base, const std::vector<CsvColumn::Step>& steps) {
    const json* at = &base;
    for (const CsvColumn::Step& step : steps) {
        if (step.index >= 0) {
            if (!at->is_array() || static_cast<std::size_t>(step.index) >= at->size())
                return nullptr;
            at = &(*at)[static_cast<std::size_t>(step.index)];
        } else {
            if (!at->is_object() || !at->contains(step.key)) return nullptr;
            at = &(*at)[step.key];
        }
    }
    return at;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<json> numberValue(std::string_view cell) {
    const LeadingNumber n = readLeadingNumber(cell);
    if (n.length != cell.size() || !std::isfinite(n.value)) return std::nullopt;
    if (cell.find_first_of(".eE") == std::string_view::npos && std::fabs(n.value) < 9.0e15)
        return json(static_cast<long long>(n.value));
    return json(n.value);
}

json cellValue(const CsvColumn& column, std::string_view cell, const std::string& path) {
    const std::string word = lower(cell);
    const bool boolean = word == "true" || word == "false";
    switch (column.kind) {
        case Kind::Text:
            return json(std::string(cell));
        case Kind::Boolean:
            if (!boolean)
                throw ScenarioError(path, "expected true or false, not " + quoteText(cell));
            return json(word == "true");
        case Kind::Number:
            if (const auto number = numberValue(cell)) return *number;
            throw ScenarioError(path, "expected a number, not " + quoteText(cell));
        case Kind::Any:
            break;
    }
    if (boolean) return json(word == "true");
    if (const auto number = numberValue(cell)) return *number;
    return json(std::string(cell));
}

Kind kindOf(const json& value) {
    if (value.is_number()) return Kind::Number;
    if (value.is_string()) return Kind::Text;
    if (value.is_boolean()) return Kind::Boolean;
    return Kind::Any;
}

// Puts value at the column's path in document, making what is missing on the way.
void put(json& document, const CsvColumn& column, json value) {
    json* at = &document;
    for (std::size_t s = 0; s < column.steps.size(); ++s) {
        const CsvColumn::Step& step = column.steps[s];
        if (step.index >= 0) {
            if (!at->is_array()) *at = json::array();
            const auto index = static_cast<std::size_t>(step.index);
            if (index > at->size()) {
                throw ScenarioError(pathText(column.steps, s + 1),
                                    "the list has " + std::to_string(at->size()) +
                                        " entries; a row may add only the next one");
            }
            if (index == at->size()) at->push_back(nullptr);
            at = &(*at)[index];
        } else {
            if (at->is_number()) *at = json{{"at", *at}};  // a diary void as a bare time
            if (!at->is_object()) *at = json::object();
            at = &(*at)[step.key];
        }
    }
    *at = std::move(value);
}

}  // namespace

bool CsvRecordReader::failed() const {
    return in_.bad();
}

bool CsvRecordReader::next(std::vector<std::string>& fields, std::size_t& line,
                           std::string& problem) {
    fields.clear();
    problem.clear();
    std::streambuf& buffer = *in_.rdbuf();
    using Traits = std::char_traits<char>;
    if (!started_) {
        started_ = true;
        if (buffer.sgetc() == 0xEF) {
            std::string bom;
            for (int k = 0; k < 3 && buffer.sgetc() != Traits::eof(); ++k)
                bom += Traits::to_char_type(buffer.sbumpc());
            if (bom != "\xEF\xBB\xBF") fields.push_back(bom);  // not a mark: the field's start
        }
    }
    while (true) {
        // A line with nothing on it is no record.
        int c = buffer.sgetc();
        if (c == Traits::eof() && fields.empty()) return false;
        if (fields.empty() && (c == '\n' || c == '\r')) {
            buffer.sbumpc();
            if (c == '\r' && buffer.sgetc() == '\n') buffer.sbumpc();
            ++line_;
            continue;
        }
        break;
    }
    line = line_;
    std::string field = fields.empty() ? std::string() : std::move(fields.back());
    if (!fields.empty()) fields.pop_back();
    bool quoted = false, wasQuoted = false;
    while (true) {
        const int c = buffer.sbumpc();
        if (c == Traits::eof()) {
            if (quoted) problem = "a quoted field is not closed before the end of the input";
            break;
        }
        const char ch = Traits::to_char_type(c);
        if (quoted) {
            if (ch == '"') {
                if (buffer.sgetc() == '"') {
                    buffer.sbumpc();
                    field += '"';
                } else {
                    quoted = false;
                }
            } else {
                if (ch == '\n') ++line_;
                field += ch;
            }
            continue;
        }
        if (ch == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (ch == ',') {
            fields.push_back(std::move(field));
            field.clear();
            wasQuoted = false;
        } else if (ch == '\n' || ch == '\r') {
            if (ch == '\r' && buffer.sgetc() == '\n') buffer.sbumpc();
            ++line_;
            break;
        } else {
            if (wasQuoted && problem.empty())
                problem =
                    "field " + std::to_string(fields.size() + 1) + ": text after the closing quote";
            field += ch;
        }
    }
    fields.push_back(std::move(field));
    return true;
}

std::vector<CsvColumn> csvColumns(const std::vector<std::string>& header, const json& base) {
    std::vector<CsvColumn> columns;
    std::set<std::string> seen;
    for (const std::string& written : header) {
        const std::string name(trimBlanks(written));
        const std::string at = name.empty() ? "column " + std::to_string(columns.size() + 1) : name;
        const auto steps = parsePath(name);
        if (!steps) {
            throw ScenarioError(at, "not a key path (keys joined by \".\", list entries as [0])");
        }
        CsvColumn column{name, *steps, Kind::Any};
        const std::string general = pattern(*steps);
        const auto known = std::find_if(std::begin(kKnownPaths), std::end(kKnownPaths),
                                        [&](const KnownPath& k) { return k.path == general; });
        const json* held = templateValue(base, *steps);
        if (known != std::end(kKnownPaths)) {
            column.kind = known->kind;
        } else if (held && !held->is_object() && !held->is_array()) {
            column.kind = kindOf(*held);
        } else {
            throw ScenarioError(
                at, held ? "names a section, not a value" : "the scenario file has no such key");
        }
        if (!seen.insert(pathText(*steps, steps->size())).second)
            throw ScenarioError(at, "the column is given twice");
        columns.push_back(std::move(column));
    }
    return columns;
}

json applyCsvRow(const json& base, const std::vector<CsvColumn>& columns,
                 const std::vector<std::string>& cells) {
    if (cells.size() != columns.size()) {
        throw ScenarioError("", "expected " + std::to_string(columns.size()) + " fields, found " +
                                    std::to_string(cells.size()));
    }
    json document = base;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string_view cell = trimBlanks(cells[c]);
        if (cell.empty()) continue;
        const std::string path = pathText(columns[c].steps, columns[c].steps.size());
        put(document, columns[c], cellValue(columns[c], cell, path));
    }
    return document;
}

CsvTemplateSource::CsvTemplateSource(std::istream& in, std::string name, json base)
    : reader_(in), name_(std::move(name)), base_(std::move(base)) {
    if (!base_.is_object()) throw ScenarioError("", "the template is not a JSON object");
    std::vector<std::string> header;
    std::size_t line = 0;
    std::string problem;
    if (!reader_.next(header, line, problem)) {
        if (reader_.failed()) throwUnreadable(name_, "reading failed");
        throwUnreadable(name_, "no header line");
    }
    if (!problem.empty()) throw ScenarioError("header", problem);
    columns_ = csvColumns(header, base_);
}

bool CsvTemplateSource::next(BatchItem& item) {
    item = {};
    if (!reader_.next(item.cells, item.line, item.problem)) {
        if (reader_.failed()) throwUnreadable(name_, "reading failed");
        return false;
    }
    for (std::size_t c = 0; c < columns_.size() && c < item.cells.size(); ++c) {
        if (columns_[c].header == "id") item.id = trimBlanks(item.cells[c]);
    }
    return true;
}

json CsvTemplateSource::scenarioOf(BatchItem& item) const {
    return applyCsvRow(base_, columns_, item.cells);
}

std::unique_ptr<BatchSource> openCsvTemplate(std::istream& in, std::string name,
                                             const std::string& templateFile) {
    nlohmann::json base;
    try {
        base = parseScenarioJson(readScenarioText(templateFile));
    } catch (const ScenarioError& e) {
        throw ScenarioError("--template " + templateFile + ": " + e.path(), e.reason());
    }
    return std::make_unique<CsvTemplateSource>(in, std::move(name), std::move(base));
}

}  // namespace orvane
