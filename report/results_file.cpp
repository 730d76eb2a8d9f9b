#include "report/results_file.h"

#include <cstddef>
#include <string>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/plain_text.h"

namespace orvane {
namespace {

constexpr const char* kCrLf = "\r\n";

// The T0 values above the dose columns (of ten characters each); the last digit of each
// number stands above the fifth character of its column (the sixth for the first).
std::string columnHeader() {
    std::string header;
    for (int t = 0; t < kT0Count; ++t) {
        const std::string label = formatWhole(kLabelledT0Grid[t]);
        const std::size_t lastDigit = t == 0 ? 5 : 10 * t + 4;
        header.append(lastDigit + 1 - header.size() - label.size(), ' ');
        header += label;
    }
    return header;
}

void addLine(std::string& text, const std::string& line) {
    text += line;
    text += kCrLf;
}

void addBlock(std::string& text, const DoseResults& results, int schedule) {
    const ModelParameters& p = results.parameters;
    const FillRateSchedule& rates = kFillRateSchedules[static_cast<std::size_t>(schedule)];

    addLine(text, "\t      MODEL PARAMETERS");
    addLine(text, "");
    addLine(text, "Radiopharmaceutical: \t" + replaceControlCharacters(p.name));
    addLine(text, "");
    addLine(text, "Physical Half Life: \t" + formatScientific(p.physicalHalfLife) + " min");
    addLine(text, "");
    addLine(text,
            "Delta (mGy-kg/MBq-s): \t" + formatScientific(unscaleEmissionConstant(p.deltaScaled)));
    addLine(text, "");
    addLine(text,
            "Gamma (mGy-cm^2/MBq-s): " + formatScientific(unscaleEmissionConstant(p.gammaScaled)));
    addLine(text, "");
    addLine(text, "");
    for (int j = 0; j < kComponentCount; ++j) {
        if (p.fraction[j] == 0) continue;
        const std::string number = std::to_string(j + 1);
        addLine(text, "Fraction " + number + ": " + formatScientific(p.fraction[j]) + "\tTbio " +
                          number + ": " + formatScientific(p.biologicalHalfLife[j]) + " min");
        addLine(text, "");
    }
    addLine(text, "Bladder Fill Rates: " + fillRateText(rates) + ", day/night");
    addLine(text, "");
    addLine(text, "Doses (mGy/MBq)  ");
    addLine(text, columnHeader());

    const DoseTable& table = results.tables[static_cast<std::size_t>(schedule)];
    for (int v = 0; v < kV0Count; ++v) {
        std::string row;
        for (int t = 0; t < kT0Count; ++t) {
            if (t > 0) row += "  ";
            row += formatScientific(table.at(t, v));
        }
        addLine(text, row);
    }
}

}  // namespace

std::string resultsFileText(const DoseResults& results) {
    std::string text;
    for (int s = 0; s < kScheduleCount; ++s) {
        addBlock(text, results, s);
        if (s + 1 < kScheduleCount) {
            addLine(text, "");
            addLine(text, "");
        }
    }
    return text;
}

WriteOutcome WriteResultsFile(const std::filesystem::path& path, const DoseResults& results) {
    return writeFileAtomically(path, resultsFileText(results), "the results file");
}

}  // namespace orvane
