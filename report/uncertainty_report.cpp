#include "report/uncertainty_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"

namespace orvane {

namespace {

// Up to `digits` significant digits; "n/a" for a value that is not a number.
std::string significant(double value, int digits) {
    return std::isnan(value) ? "n/a" : formatSignificant(value, digits);
}

std::string dose(double value) {
    return significant(value, 4);
}

// A correlation with its sign and three decimals (+0.912, -0.050).
std::string correlation(double value) {
    if (std::isnan(value)) return "n/a";
    const std::string text = formatFixed(value, 3);
    return text.starts_with('-') ? text : "+" + text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string percentileKey(double p) {
    return formatShortest(p);
}

}  // namespace

std::string describeDistribution(const Distribution& d) {
    auto g = [](double v) { return significant(v, 6); };
    std::string text;
    switch (d.kind) {
        case DistributionKind::Normal:
            text = "normal, mean " + g(d.a) + ", sd " + g(d.b);
            break;
        case DistributionKind::Lognormal:
            text = "lognormal, median " + g(d.a) + ", gsd " + g(d.b);
            break;
        case DistributionKind::Uniform:
            text = "uniform, " + g(d.a) + " to " + g(d.b);
            break;
        case DistributionKind::Triangular:
            text = "triangular, " + g(d.a) + " to " + g(d.c) + ", mode " + g(d.b);
            break;
    }
    if (!std::isinf(d.min)) text += ", min " + g(d.min);
    if (!std::isinf(d.max)) text += ", max " + g(d.max);
    return text;
}

std::string uncertaintyText(const std::vector<UncertainInput>& inputs,
                            const UncertaintyOptions& options, const UncertaintyResult& result) {
    std::string text = "Uncertainty (" + std::to_string(options.samples) + " samples, seed " +
                       std::to_string(options.seed) + "): " + std::to_string(result.used) +
                       " used, " + std::to_string(result.rejected) + " rejected";
    if (result.rejected > 0)
        text += " (a value outside its min/max, or a sample the model refuses)";
    text += "\n";
    if (result.clamped > 0)
        text += "  " + std::to_string(result.clamped) +
                " used samples have a residual drawn above the volume at a void; such a void "
                "voids nothing\n";
    text += "  Dose, mGy/MBq: nominal " + dose(result.nominal) + ", mean " + dose(result.mean) +
            ", sd " + dose(result.sd) + "\n";
    text += "  Percentiles:";
    for (std::size_t k = 0; k < kReportedPercentiles.size(); ++k)
        text += (k ? ", " : " ") + percentileKey(kReportedPercentiles[k]) + " % " +
                dose(result.percentiles[k]);
    text +=
        "\n\n  Sensitivity, largest swing first (dose with the input at its 5th and 95th "
        "percentile, the others nominal):\n";
    std::size_t width = 5;
    for (const UncertainInput& in : inputs) width = std::max(width, in.path.size());
    text += "  " + padded("Input", width) + "  rho     at 5th     at 95th    distribution\n";
    for (const TornadoBar& bar : result.tornado) {
        std::size_t i = 0;
        while (inputs[i].path != bar.path) ++i;
        text += "  " + padded(bar.path, width) + "  " +
                padded(correlation(result.rankCorrelation[i]), 6) + "  " +
                padded(dose(bar.low), 9) + "  " + padded(dose(bar.high), 9) + "  " +
                describeDistribution(inputs[i].distribution) + "\n";
    }
    return text;
}

nlohmann::json uncertaintyJson(const std::vector<UncertainInput>& inputs,
                               const UncertaintyResult& result) {
    // NaN (no rho for a constant input, no dose at a refused tornado end) is written as null.
    nlohmann::json json;
    json["mean"] = result.mean;
    json["sd"] = result.sd;
    nlohmann::json percentiles = nlohmann::json::object();
    for (std::size_t k = 0; k < kReportedPercentiles.size(); ++k)
        percentiles[percentileKey(kReportedPercentiles[k])] = result.percentiles[k];
    json["percentiles"] = percentiles;
    json["samples_used"] = result.used;
    json["samples_rejected"] = result.rejected;
    json["samples_clamped"] = result.clamped;
    nlohmann::json rho = nlohmann::json::object();
    for (std::size_t i = 0; i < inputs.size(); ++i) rho[inputs[i].path] = result.rankCorrelation[i];
    json["rank_correlation"] = rho;
    nlohmann::json tornado = nlohmann::json::array();
    for (const TornadoBar& bar : result.tornado)
        tornado.push_back({{"path", bar.path}, {"low", bar.low}, {"high", bar.high}});
    json["tornado"] = tornado;
    return json;
}

std::string uncertaintySamplesCsv(const std::vector<UncertainInput>& inputs,
                                  const UncertaintyResult& result) {
    auto quotedField = [](const std::string& field) {
        std::string out = "\"";
        for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    std::string text = "sample";
    for (const UncertainInput& in : inputs) text += "," + quotedField(in.path);
    text += ",dose_mGy_per_MBq,status\n";
    const std::size_t width = inputs.size();
    for (std::size_t s = 0; s < result.doses.size(); ++s) {
        text += std::to_string(s);
        for (std::size_t i = 0; i < width; ++i)
            text += "," + formatShortest(result.values[s * width + i]);
        const bool used = !std::isnan(result.doses[s]);
        text += "," + (used ? formatShortest(result.doses[s]) : std::string()) +
                (used ? ",used\n" : ",rejected\n");
    }
    return text;
}

}  // namespace orvane
