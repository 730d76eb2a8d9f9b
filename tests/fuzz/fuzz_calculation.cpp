// Any field texts through the calculation's path: refused or accepted by the checks, read
// into ModelParameters, warned about, then one cell computed by the reference and the fast
// engine.
//
// Input: three bytes choosing the schedule, the V0 index and the T0 index, then the texts
// of Text1..Text15 separated by line feeds (missing ones are empty).
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/calculation.h"
#include "engine/fast_engine.h"
#include "engine/simulation.h"
#include "fuzz_support.h"
#include "library/warnings.h"

using namespace orvane;

namespace {

constexpr auto within = [](double x, double low, double high) { return x >= low && x <= high; };

// Parameters a physicist could enter: there both engines must agree closely. Outside it
// (negative or subnormal values, rate constants so small that 1 - e^{-kt} loses its
// digits) the literal sums themselves lose accuracy, so only a crash or a sanitizer
// report counts there.
bool isPhysical(const ModelParameters& p) {
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] == 0) continue;
        if (!within(p.fraction[c], 1e-6, 1) || !within(p.rateConstant[c], 1e-6, 10)) return false;
    }
    auto emission = [](double scaled) { return scaled == 0 || within(scaled, 1e-10, 1e4); };
    return within(p.physicalHalfLife, 1, 1e6) && emission(p.deltaScaled) && emission(p.gammaScaled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    FieldTexts fields{};
    for (std::string& field : fields) {
        field = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), field.size() + 1));
    }

    ModelParameters p;
    long long n = 0;
    try {
        checkFieldTexts(fields);
        p = readModelParameters(fields, "fuzz");
        checkParameters(p);
        checkIntervalCount(p, n = IntervalCount(p));
    } catch (const InputError& error) {
        // A refusal names the field by its caption, or states N when no field is to blame.
        const std::string message = error.what();
        REQUIRE(error.field() < 0 ? message.find("N = ") != std::string::npos
                                  : error.field() < kFieldCount &&
                                        message.starts_with(fieldCaption(error.field()) + ": "));
        return 0;
    }
    REQUIRE(n >= 5 && n <= kMaxIntervals);
    for (const Warning& warning : fieldWarnings(fields)) {
        const auto key = std::find(kFieldKeys.begin(), kFieldKeys.end(), warning.path);
        REQUIRE(key != kFieldKeys.end() &&
                warning.message.starts_with(fieldCaption(int(key - kFieldKeys.begin())) + ": "));
    }

    const ModelTables& tables = fuzz::shippedData().tables;
    const FillRateSchedule& schedule = kFillRateSchedules[data[0] % kScheduleCount];
    const double v0 = tables.v0Grid[data[1] % kV0Count], t0 = tables.t0Grid[data[2] % kT0Count];
    VoidHistory history;
    const auto& [nodes, weights] = std::tie(tables.quadratureNodes, tables.quadratureWeights);
    const double reference =
        SimulateDose(p, schedule, v0, t0, static_cast<int>(n), nodes, weights, history);
    const double fast = simulateDoseFast(p, schedule, v0, t0, static_cast<int>(n), nodes, weights);
    REQUIRE(!isPhysical(p) || (std::isfinite(reference) && std::isfinite(fast) && reference >= 0 &&
                               std::fabs(fast - reference) <= 1e-9 * reference + 1e-280));
    return 0;
}
