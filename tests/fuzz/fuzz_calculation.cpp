// Any field texts through the calculation's path: read into ModelParameters, refused or
// accepted by the checks, then one cell computed by the reference and the fast engine.
//
// Input: three bytes choosing the schedule, the V0 index and the T0 index, then the texts
// of Text1..Text15 separated by line feeds (missing ones are empty).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/calculation.h"
#include "engine/fast_engine.h"
#include "engine/simulation.h"
#include "library/standards.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

const orvane::ModelTables& tables() {
    static const orvane::ModelTables loaded =
        orvane::LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat").tables;
    return loaded;
}

bool within(double value, double low, double high) {
    return value >= low && value <= high;
}

// Parameters a physicist could enter: there both engines must agree closely. Outside it
// (negative or subnormal values, rate constants so small that 1 - e^{-kt} loses its
// digits) the literal sums themselves lose accuracy, so only a crash or a sanitizer
// report counts there.
bool isPhysical(const orvane::ModelParameters& p) {
    for (int c = 0; c < orvane::kComponentCount; ++c) {
        if (p.fraction[c] == 0) continue;
        if (!within(p.fraction[c], 1e-6, 1) || !within(p.rateConstant[c], 1e-6, 10)) {
            return false;
        }
    }
    return within(p.physicalHalfLife, 1, 1e6) &&
           (p.deltaScaled == 0 || within(p.deltaScaled, 1e-10, 1e4)) &&
           (p.gammaScaled == 0 || within(p.gammaScaled, 1e-10, 1e4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int schedule = data[0] % orvane::kScheduleCount;
    const int v = data[1] % orvane::kV0Count;
    const int t = data[2] % orvane::kT0Count;
    std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);

    orvane::FieldTexts fields{};
    for (std::string& field : fields) {
        const std::size_t end = rest.find('\n');
        field = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    const orvane::ModelParameters p = orvane::readModelParameters(fields, "fuzz");
    long long n = 0;
    try {
        orvane::checkParameters(p);
        n = orvane::IntervalCount(p);
        orvane::checkIntervalCount(p, n);
    } catch (const orvane::InputError& error) {
        // A refusal names the field by its caption, or states N when no field is to blame.
        const std::string message = error.what();
        if (error.field() >= 0) {
            require(error.field() < orvane::kFieldCount);
            require(message.starts_with(orvane::fieldCaption(error.field()) + ": "));
        } else {
            require(message.find("N = ") != std::string::npos);
        }
        return 0;
    }
    require(n >= 5 && n <= orvane::kMaxIntervals);

    const orvane::ModelTables& grids = tables();
    orvane::VoidHistory history;
    const double reference = orvane::SimulateDose(
        p, orvane::kFillRateSchedules[schedule], grids.v0Grid[v], grids.t0Grid[t],
        static_cast<int>(n), grids.quadratureNodes, grids.quadratureWeights, history);
    const double fast = orvane::simulateDoseFast(
        p, orvane::kFillRateSchedules[schedule], grids.v0Grid[v], grids.t0Grid[t],
        static_cast<int>(n), grids.quadratureNodes, grids.quadratureWeights);

    if (isPhysical(p)) {
        require(std::isfinite(reference) && std::isfinite(fast) && reference >= 0);
        require(std::fabs(fast - reference) <= 1e-9 * reference + 1e-280);
    }
    return 0;
}
