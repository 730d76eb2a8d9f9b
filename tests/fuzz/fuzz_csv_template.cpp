// Any text as a cohort CSV under a template: the header is refused with the column that names
// no value, or every row becomes a scenario object or a refusal naming a key path. Properties:
// a row never ends the run, an empty cell keeps the template's value (so a row of empty cells
// is the template itself), and a refused row names a column's path or none.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "library/csv_template.h"

using namespace orvane;

namespace {

const nlohmann::json& base() {
    static const nlohmann::json document = nlohmann::json::parse(R"({
        "radiopharmaceutical": {"standard": "F-18 FDG"}, "initial_volume": 80,
        "fill_rate": {"steps": [{"from": 0, "rate": 2.0}, {"from": 120, "rate": 1.0}]},
        "voiding": {"voids": [45, 150, {"at": 260, "residual": 60}]}})");
    return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::istringstream in(std::string(fuzz::inputText(bytes, size)));
    std::vector<CsvColumn> columns;
    try {
        CsvTemplateSource source(in, "fuzz", base());
    } catch (const ScenarioError& refusal) {
        REQUIRE(!refusal.reason().empty());
        return 0;
    } catch (const ScenarioFileError&) {
        return 0;
    }
    in.clear();
    in.seekg(0);
    CsvRecordReader reader(in);
    std::vector<std::string> fields;
    std::size_t line = 0, previous = 0;
    std::string problem;
    REQUIRE(reader.next(fields, line, problem));
    columns = csvColumns(fields, base());
    std::vector<std::string> paths;
    for (const CsvColumn& column : columns) {
        std::string path;
        for (const CsvColumn::Step& step : column.steps)
            path += step.index >= 0 ? "[" + std::to_string(step.index) + "]"
                                    : (path.empty() ? "" : ".") + step.key;
        paths.push_back(path);
    }
    REQUIRE(applyCsvRow(base(), columns, std::vector<std::string>(columns.size())) == base());
    while (reader.next(fields, line, problem)) {
        REQUIRE(line > previous);
        previous = line;
        try {
            const nlohmann::json row = applyCsvRow(base(), columns, fields);
            REQUIRE(row.is_object());
        } catch (const ScenarioError& refusal) {
            const bool known = refusal.path().empty() ||
                               std::any_of(paths.begin(), paths.end(), [&](const std::string& p) {
                                   return p.rfind(refusal.path(), 0) == 0;
                               });
            REQUIRE(known && !refusal.reason().empty());
        }
    }
    return 0;
}
