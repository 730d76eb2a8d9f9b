// A cohort kept as a spreadsheet: a template scenario (a scenario file's object) and a CSV
// table whose header names key paths (initial_volume, fill_rate.day, voiding.voids[0].at,
// radiopharmaceutical.library, ...). Each row is the template with the row's cells put in.
//
// - The CSV is RFC 4180: fields separated by commas, a field in double quotes may hold
//   commas, line breaks and doubled quotes; CRLF or LF line ends; a UTF-8 byte-order mark
//   before the header is skipped. A line with nothing on it yields no row.
// - A header is a key path the scenario file knows (or one that names a value the template
//   holds), or "id". Every header is checked before any row is read; a header that names
//   no value, or is given twice, is refused.
// - A cell, blanks trimmed, is converted to the key's type: a number ("1e3", "-2.5"; a whole
//   number without point or exponent stays whole), a text, or true/false; where the key takes
//   either (a standard's index or name), what the cell reads as. An empty cell keeps the
//   template's value. A list entry one past the template's last is added; one further on is
//   refused for that row. A diary void written as a bare time becomes {"at": time} when a
//   row sets its residual.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "library/batch.h"

namespace orvane {

// Reads CSV records one at a time.
class CsvRecordReader {
public:
    explicit CsvRecordReader(std::istream& in) : in_(in) {}
    // The next record's fields and the line it starts on; false at the end. A record whose
    // quotes are not closed by the end of the input sets `problem`.
    bool next(std::vector<std::string>& fields, std::size_t& line, std::string& problem);
    bool failed() const;  // the stream failed while reading (not at its end)

private:
    std::istream& in_;
    std::size_t line_ = 1;
    bool started_ = false;
};

// One column: where its cells go.
struct CsvColumn {
    enum class Kind { Number, Text, Boolean, Any };
    std::string header;
    // Each step is a key, or (index >= 0) a list entry.
    struct Step {
        std::string key;
        long index = -1;
    };
    std::vector<Step> steps;
    Kind kind = Kind::Any;
};

// The columns of a header, checked against the template. Throws ScenarioError whose path is
// the header as written and whose reason says why it names no value.
std::vector<CsvColumn> csvColumns(const std::vector<std::string>& header,
                                  const nlohmann::json& base);

// The template with one row put in (cells in column order). Throws ScenarioError naming the
// key path of a cell that does not convert or a list entry that cannot be added.
nlohmann::json applyCsvRow(const nlohmann::json& base, const std::vector<CsvColumn>& columns,
                           const std::vector<std::string>& cells);

// The rows of a CSV under a template, as batch records. The constructor reads and checks the
// header (ScenarioError, see csvColumns; ScenarioFileError when there is none).
class CsvTemplateSource : public BatchSource {
public:
    CsvTemplateSource(std::istream& in, std::string name, nlohmann::json base);
    bool next(BatchItem& item) override;
    nlohmann::json scenarioOf(BatchItem& item) const override;

private:
    CsvRecordReader reader_;
    std::string name_;
    nlohmann::json base_;
    std::vector<CsvColumn> columns_;
};

// A CsvTemplateSource over the scenario file `templateFile` (read as every scenario file is);
// a refusal of the template is a ScenarioError whose path begins "--template FILE: ".
std::unique_ptr<BatchSource> openCsvTemplate(std::istream& in, std::string name,
                                             const std::string& templateFile);

}  // namespace orvane
