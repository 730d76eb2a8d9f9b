// Any text as a scenario file with "measurements" and "fit" sections: refused with a key path and
// a reason, or fitted (on at most 16 parameter sets) to a result that holds together: fractions
// within [0, 1] adding up to at most 1, positive half-lives, a finite dose within an ordered
// interval, one residual per point; or reported as not converged, with the reason.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "library/measurements_file.h"
#include "library/scenario_file.h"

using namespace orvane;

namespace {

constexpr double kMostSamples = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const Workbench workbench(fuzz::shippedData(),
                                     {ORVANE_SOURCE_DIR "/data/radiopharmaceuticals.json", {}});
    const std::string_view text = fuzz::inputText(bytes, size);
    ScenarioFit run;
    try {
        nlohmann::json document = parseScenarioJson(text);
        if (!hasFitSections(document)) return 0;
        if (auto* fit =
                document.is_object() && document.contains("fit") ? &document["fit"] : nullptr;
            fit && fit->is_object() && fit->contains("samples") && (*fit)["samples"].is_number() &&
            (*fit)["samples"].get<double>() > kMostSamples)
            (*fit)["samples"] = kMostSamples;
        run = fitScenarioDocument(workbench, document);
    } catch (const ScenarioError& refusal) {
        REQUIRE(!refusal.reason().empty());
        return 0;
    }
    const FitResult& f = run.fit;
    if (!f.converged) {
        REQUIRE(!f.message.empty());
        return 0;
    }
    double total = 0;
    for (const FittedComponent& c : f.parameters) {
        REQUIRE(c.fraction >= 0 && c.fraction <= 1 && c.halfLife > 0);
        total += c.fraction;
    }
    REQUIRE(total <= 1 + 1e-9 && f.components == static_cast<int>(f.parameters.size()));
    REQUIRE(std::isfinite(f.dose) && f.dose >= 0);
    if (f.hasInterval) {
        const DoseInterval& d = f.doseInterval;
        REQUIRE(d.low <= d.median && d.median <= d.high);
    }
    const Measurements& m = run.measurements;
    std::size_t points = m.cumulativeUrine.size() + m.bladder.size() + m.wholeBody.size();
    for (const MeasuredVoid& v : m.voids) points += v.activity ? 1 : 0;
    REQUIRE(f.residuals.size() == points);
    return 0;
}
