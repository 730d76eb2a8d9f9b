#include "report/report.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/plain_text.h"

namespace orvane {
namespace {

constexpr const char* kCrLf = "\r\n";

// Where the graph puts a curve when every dose of the schedule is the same.
constexpr float kMidHeight = 1.45f;

std::string componentLine(const ModelParameters& parameters, int component) {
    const std::string number = std::to_string(component + 1);
    return "Fraction " + number + ": " + formatScientific(parameters.fraction[component]) +
           "\tTbio " + number + ": " + formatScientific(parameters.biologicalHalfLife[component]) +
           " min";
}

DrawPrimitive point(float x, float y) {
    return {DrawPrimitive::Kind::Point, x, y, {}};
}
DrawPrimitive line(float x, float y) {
    return {DrawPrimitive::Kind::Line, x, y, {}};
}
DrawPrimitive print(float x, float y, std::string text) {
    return {DrawPrimitive::Kind::Print, x, y, std::move(text)};
}

// x of T0 index 1..8; index 0 sits on the dose axis instead.
float curveX(int t0Index) {
    return static_cast<float>((t0Index - 1) * 0.21 + 0.9);
}

}  // namespace

std::string ParameterReport(const ModelParameters& parameters, const FillRateSchedule& schedule) {
    std::string text;
    text += "\t      MODEL PARAMETERS";
    text += kCrLf;
    text += kCrLf;
    text += "Radiopharmaceutical: \t" + replaceControlCharacters(parameters.name) + kCrLf;
    text +=
        "Physical Half Life: \t\t" + formatScientific(parameters.physicalHalfLife) + " min" + kCrLf;
    text += "Delta (mGy-kg/MBq-s): \t" +
            formatScientific(unscaleEmissionConstant(parameters.deltaScaled)) + kCrLf;
    text += "Gamma (mGy-cm^2/MBq-s): \t" +
            formatScientific(unscaleEmissionConstant(parameters.gammaScaled)) + kCrLf;
    text += kCrLf;
    for (int j = 0; j < kComponentCount; ++j) {
        // Only a fraction of exactly 0 leaves a component out; negative ones are listed.
        if (parameters.fraction[j] != 0) text += componentLine(parameters, j) + kCrLf;
    }
    text += kCrLf;
    text += "Bladder Fill Rates: " + fillRateText(schedule) + ", day/night" + kCrLf;
    return text;
}

std::string doseTableText(const DoseTable& table) {
    std::string text;
    for (int v = 0; v < kV0Count; ++v) {
        for (int t = 0; t < kT0Count; ++t) {
            if (t > 0) text += "  ";
            text += formatScientific(table.at(t, v));
        }
        text += kCrLf;
    }
    return text;
}

ScheduleView RenderSchedule(const DoseResults& results, int schedule) {
    ScheduleView view;
    if (schedule < 0 || schedule >= kScheduleCount) return view;
    const DoseTable& table = results.tables[static_cast<std::size_t>(schedule)];

    // The axis runs from the schedule's own smallest dose to its largest, whatever their size.
    double maximum = table.at(0, 0);
    double minimum = maximum;
    for (int v = 0; v < kV0Count; ++v) {
        for (int t = 0; t < kT0Count; ++t) {
            const double dose = table.at(t, v);
            if (dose > maximum) maximum = dose;
            if (dose < minimum) minimum = dose;
        }
    }

    // All doses equal: there is no range to spread the curves over, so they run flat
    // across the middle of the dose axis.
    const bool flat = maximum == minimum;
    auto curveY = [&](double dose) {
        if (flat) return kMidHeight;
        return static_cast<float>(2.5 - (dose - minimum) * 2.1 / (maximum - minimum));
    };

    std::vector<DrawPrimitive>& drawing = view.drawing;
    drawing.push_back({DrawPrimitive::Kind::Clear, 0.0f, 0.0f, {}});

    drawing.push_back(point(0.6f, 0.3f));
    drawing.push_back(line(0.6f, 2.7f));
    drawing.push_back(line(2.6f, 2.7f));

    drawing.push_back(print(0.05f, 0.2f, formatScientific(maximum)));
    drawing.push_back(print(2.4f, 0.2f, " V0 (ml)"));
    drawing.push_back(print(0.08f, 1.0f, "Dose"));
    drawing.push_back(print(0.05f, 1.3f, "(mGy/"));
    drawing.push_back(print(0.05f, 1.5f, "MBq)"));
    drawing.push_back(print(0.05f, 2.5f, formatScientific(minimum)));
    drawing.push_back(print(0.5f, 2.7f, formatPlain(0)));
    drawing.push_back(print(1.35f, 2.8f, " T0 (min)"));
    drawing.push_back(print(1.1f, 2.7f, formatPlain(60)));
    drawing.push_back(print(1.8f, 2.7f, formatPlain(120)));
    drawing.push_back(print(2.5f, 2.7f, formatPlain(180)));

    for (int v = 0; v < kV0Count; ++v) {
        float x = 0.6f;
        float y = curveY(table.at(0, v));
        drawing.push_back(point(x, y));
        for (int t = 1; t < kT0Count; ++t) {
            x = curveX(t);
            y = curveY(table.at(t, v));
            drawing.push_back(line(x, y));
        }
        // The curves of V0 index 4 and 5 carry no label.
        if (v != 4 && v != 5) {
            drawing.push_back(print(x, y, "  " + formatWhole(results.grids.v0Grid[v])));
        }
    }

    view.table = doseTableText(table);
    view.report =
        ParameterReport(results.parameters, kFillRateSchedules[static_cast<std::size_t>(schedule)]);
    return view;
}

}  // namespace orvane
