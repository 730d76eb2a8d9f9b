#include "report/fit_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "report/scenario_report.h"

namespace orvane {

namespace {

// A finite number, or null.
nlohmann::json finite(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

std::string significant(double value, int digits) {
    return std::isfinite(value) ? formatSignificant(value, digits) : "n/a";
}

// A percentile's key, rounded to 6 decimals: "2.5" rather than 2.500000000000002.
std::string percentText(double p) {
    return formatShortest(std::round(p * 1e6) / 1e6);
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string withSe(double value, double se) {
    return significant(value, 4) + " +/- " + significant(se, 2);
}

}  // namespace

std::string fitText(const FitResult& fit, const FitOptions& options) {
    std::string text = "Fit to the measurements\n";
    if (!fit.converged) return text + "  did not converge: " + fit.message + "\n";
    text += "  Components: " + std::to_string(fit.components) +
            (options.components == 0 ? " (lowest AICc)" : " (as asked)") + "\n";
    text += "  " + padded("", 4) + padded("fraction", 24) + "biological half-life (min)\n";
    for (std::size_t i = 0; i < fit.parameters.size(); ++i) {
        const FittedComponent& c = fit.parameters[i];
        text += "  " + padded(std::to_string(i + 1), 4) +
                padded(withSe(c.fraction, c.fractionSe), 24) + withSe(c.halfLife, c.halfLifeSe) +
                "\n";
    }
    text += "  Models tried (components, AICc, chi-square, dof):\n";
    for (const FitModel& m : fit.models) {
        text += "    " + std::to_string(m.components) + "  " + significant(m.aicc, 6) + "  " +
                significant(m.chiSquare, 6) + "  " + std::to_string(m.dof) +
                (m.converged ? "" : "  did not converge: " + m.message) + "\n";
    }
    text += "  Dose with the fitted kinetics: " + significant(fit.dose, 4) + " mGy/MBq\n";
    if (fit.hasInterval) {
        const DoseInterval& d = fit.doseInterval;
        text += "  Dose interval (" + percentText(d.lowPercent) + " to " +
                percentText(d.highPercent) + " %): " + significant(d.low, 4) + " to " +
                significant(d.high, 4) + " mGy/MBq, median " + significant(d.median, 4) + " (" +
                std::to_string(d.used) + " parameter sets, " + std::to_string(d.rejected) +
                " refused)\n";
    } else {
        text += "  No dose interval.\n";
    }
    for (const FitFlag& flag : fit.flags) text += "  Note: " + flag.text + "\n";
    return text;
}

nlohmann::json fitJson(const FitResult& fit) {
    nlohmann::json parameters = nlohmann::json::array();
    for (const FittedComponent& c : fit.parameters) {
        parameters.push_back({{"fraction", c.fraction},
                              {"fraction_se", finite(c.fractionSe)},
                              {"half_life", c.halfLife},
                              {"half_life_se", finite(c.halfLifeSe)},
                              {"rate_constant", c.rateConstant}});
    }
    nlohmann::json models = nlohmann::json::array();
    for (const FitModel& m : fit.models) {
        models.push_back({{"components", m.components},
                          {"aicc", finite(m.aicc)},
                          {"chi_square", finite(m.chiSquare)},
                          {"dof", m.dof}});
    }
    nlohmann::json residuals = nlohmann::json::array();
    for (const FitResidual& r : fit.residuals) {
        residuals.push_back({{"kind", measurementKindName(r.kind)},
                             {"at", r.at},
                             {"measured", r.measured},
                             {"model", finite(r.model)},
                             {"weighted", finite(r.weighted)}});
    }
    nlohmann::json interval = nullptr;
    if (fit.hasInterval) {
        const DoseInterval& d = fit.doseInterval;
        interval = {{percentText(d.lowPercent), d.low},
                    {"50", d.median},
                    {percentText(d.highPercent), d.high}};
    }
    nlohmann::json flags = nlohmann::json::array();
    for (const FitFlag& flag : fit.flags) flags.push_back(flag.text);
    return {{"components", fit.components}, {"parameters", parameters},  {"models", models},
            {"residuals", residuals},       {"dose_interval", interval}, {"flags", flags}};
}

std::string fitResidualsCsv(const FitResult& fit) {
    std::string text = "kind,index,at_min,measured,model,weighted_residual\n";
    for (const FitResidual& r : fit.residuals) {
        text += std::string(measurementKindName(r.kind)) + "," + std::to_string(r.index) + "," +
                formatRoundTrip(r.at) + "," + formatRoundTrip(r.measured) + "," +
                formatRoundTrip(r.model) + "," + formatRoundTrip(r.weighted) + "\n";
    }
    return text;
}

nlohmann::json fittedScenarioJson(const Scenario& scenario, const ScenarioResult& result,
                                  const std::vector<Warning>& warnings, const FitResult* fit) {
    nlohmann::json json = scenarioResultJson(scenario, result, &warnings);
    if (fit) json["fit"] = fitJson(*fit);
    return json;
}

std::string fittedScenarioJsonText(const Scenario& scenario, const ScenarioResult& result,
                                   const std::vector<Warning>& warnings, const FitResult& fit,
                                   const CalculationOrigin& origin) {
    return scenarioRecordText(scenario, result, origin,
                              fittedScenarioJson(scenario, result, warnings, &fit));
}

}  // namespace orvane
