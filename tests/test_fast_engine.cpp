// The fast engine against the literal sums: every standard, random parameter sets up to
// N = 1000, the void record and the clamp, the displayed texts, accuracy in extended
// precision, and a cell alone equal to its row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/calculation.h"
#include "engine/fast_engine.h"
#include "engine/numtext.h"
#include "engine/simulation.h"
#include "library/standards.h"
#include "support.h"

using namespace orvane;

namespace {

constexpr double kAgreement = 1e-12;

const ModelTables& tables() {
    return test::shippedTables();
}

// Components as {fraction, rate constant, biological half-life}.
ModelParameters parameters(const std::vector<std::array<double, 3>>& components, double tp,
                           double delta = 2.6e-6, double gamma = 5.56e-5) {
    ModelParameters p;
    std::tie(p.physicalHalfLife, p.physicalDecayConstant, p.deltaScaled, p.gammaScaled) =
        std::tuple(tp, kDecayNumerator / tp, scaleEmissionConstant(delta),
                   scaleEmissionConstant(gamma));
    for (std::size_t c = 0; c < components.size(); ++c)
        std::tie(p.fraction[c], p.rateConstant[c], p.biologicalHalfLife[c]) =
            std::tuple_cat(components[c]);
    return p;
}

// One cell: parameters, schedule, V0 and T0; N follows from the half-lives as in the
// calculation.
struct Cell {
    ModelParameters p;
    int s;
    double v0, t0;
    int n() const { return static_cast<int>(IntervalCount(p)); }
};

double reference(const Cell& c, VoidHistory* history = nullptr) {
    VoidHistory scratch;
    return SimulateDose(c.p, kFillRateSchedules[c.s], c.v0, c.t0, c.n(), tables().quadratureNodes,
                        tables().quadratureWeights, history ? *history : scratch);
}
double fast(const Cell& c, VoidHistory* history = nullptr) {
    return simulateDoseFast(c.p, kFillRateSchedules[c.s], c.v0, c.t0, c.n(),
                            tables().quadratureNodes, tables().quadratureWeights, history);
}
double relativeDifference(double got, double expected) {
    return got == expected ? 0 : std::fabs(got - expected) / std::fabs(expected);
}

// The cell in extended precision: the literal sums as written, of the engines' double
// inputs (decay constant, 0.0039 and 0.667 included), to measure both engines by.
long double extended(const Cell& c) {
    using L = long double;
    const L lp = c.p.physicalDecayConstant, gamma = L(c.p.gammaScaled) * L(0.0039);
    std::vector<L> time(c.n() + 1), removed(c.n() + 1);
    VoidingClock clock(kFillRateSchedules[c.s], c.v0, c.t0);
    L total = 0;
    for (int d = 1; d <= c.n(); ++d) {
        const IntervalBounds b = clock.next();
        const L ts = b.start, length = L(b.end) - ts;
        auto content = [&](L t) {
            L inflow = 0;
            for (int i = 0; i < kComponentCount; ++i)
                inflow -= std::expm1(-L(c.p.rateConstant[i]) * t) * c.p.fraction[i];
            L sum = std::exp(-lp * t) * inflow;
            for (int j = 1; j < d; ++j) sum -= std::exp(-lp * (t - time[j])) * removed[j];
            return sum;
        };
        for (int i = 0; i < kNodeCount; ++i) {
            for (const L y : {L(tables().quadratureNodes[i]), -L(tables().quadratureNodes[i])}) {
                const L t = ts + (1 + y) * length / 2;
                const L v = b.startVolume + b.rate * (t - ts);
                const L factor = c.p.deltaScaled / (v * 120) + gamma / (std::pow(v, L(0.667)) * 60);
                total += std::max(content(t), L(0)) * factor * tables().quadratureWeights[i] *
                         length / 2;
            }
        }
        removed[d] = content(b.end) * (1 - 10 / (b.startVolume + b.rate * length));
        time[d] = b.end;
    }
    return 1000 * total / 3.7L;
}

// The fast dose agrees with the reference's to 1e-12, and so do their "scientific" texts.
// Where the doses differ by more, the reference must be the one that is off (its inflow
// and outflow cancel to below its own rounding): the fast dose lies ten times closer to
// the extended-precision dose and shows its text, unless that dose is below even the
// extended rounding. Texts of a value within 1e-12 of a rounding boundary are not
// compared, and the test says so. Returns whether the reference was off.
bool compareWithReference(const Cell& c, double got, double ref, const std::string& what) {
    double shown = ref;
    const bool off = relativeDifference(got, ref) > kAgreement;
    if (off) {
        const long double exact = extended(c);
        const long double errorFast = std::fabs(got - exact), errorRef = std::fabs(ref - exact);
        EXPECT_LT(errorFast * 10, errorRef) << what << ": the reference is off by " << errorRef;
        if (errorFast > kAgreement * std::fabs(exact)) return off;
        shown = static_cast<double>(exact);
    }
    if (formatScientific(shown * (1 + kAgreement)) != formatScientific(shown * (1 - kAgreement))) {
        std::printf("note: %s: %s lies within 1e-12 of a rounding boundary; texts not compared\n",
                    what.c_str(), formatRoundTrip(shown).c_str());
    } else {
        EXPECT_EQ(formatScientific(got), formatScientific(shown)) << what;
    }
    return off;
}

void forEachCell(auto check) {
    for (int s = 0; s < kScheduleCount; ++s)
        for (int v = 0; v < kV0Count; ++v)
            for (int t = 0; t < kT0Count; ++t) check(s, v, t);
}

}  // namespace

// All 20 standards as their fields show them: full tables up to N = 250, beyond that
// cells on a diagonal and the corners.
TEST(FastEngineAgreement, EveryStandardMatchesTheReference) {
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardFieldTexts fields = standardFieldTexts(test::shippedData().library[i]);
        const ModelParameters p = readModelParameters(fields.fields, fields.name);
        const DoseResults got = RunCalculation(fields.fields, fields.name, tables());
        forEachCell([&](int s, int v, int t) {
            const Cell c{p, s, tables().v0Grid[v], tables().t0Grid[t]};
            if (c.n() > 250 && v != t % kV0Count && !(v % 6 == 0 && t % 8 == 0)) return;
            EXPECT_FALSE(compareWithReference(
                c, got.tables[s].at(t, v), reference(c),
                fields.name + " cell " + std::to_string(s * 100 + v * 10 + t)));
        });
    }
}

// Random sets: N 5..1000, one to four components, negative fractions (outflow above the
// inflow, so that the clamp acts), zero rate constants, no Delta or no Gamma, physical
// half-lives of a minute or so (over which e^{+lp t} would leave the double range), and
// first voids at midnight (T0 900) or after it. The void record matches the reference's:
// activity kept as computed (negative too), volume and time.
TEST(FastEngineAgreement, RandomParameterSetsMatchTheReference) {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> unit;
    auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * unit(random); };
    auto logUniform = [&](double lo, double hi) {
        return std::exp(uniform(std::log(lo), std::log(hi)));
    };
    auto chance = [&](double p) { return uniform(0, 1) < p; };
    constexpr int kSets = 240;
    int clamped = 0, referenceOff = 0;
    for (int set = 0; set < kSets; ++set) {
        // Weighted towards small N, where the reference is cheap; Teff = 18 (N - 1) + ...
        const int wantN = static_cast<int>(set % 8 == 0 ? uniform(500, 1000) : logUniform(5, 400));
        const double teff = 18.0 * (wantN - 1) + uniform(0.5, 17.5);
        const double tp = set % 10 == 3 ? uniform(0.3, 3) : teff * logUniform(1.05, 50);
        const double tbMax = tp > teff ? tp * teff / (tp - teff) : logUniform(10, 1e5);
        std::vector<std::array<double, 3>> c;
        const int components = 1 + static_cast<int>(uniform(0, 4));
        for (int i = 0; i < components; ++i) {
            c.push_back({chance(0.3) ? -uniform(0.01, 0.8) : uniform(0.01, 1),
                         chance(0.1) ? 0 : logUniform(1e-4, 0.5),
                         i == 0 ? tbMax : uniform(0, tbMax)});
        }
        // A component with fraction 0 but a rate constant takes no part.
        if (components < 4 && chance(0.3)) c.push_back({0.0, uniform(0, 0.1), 0});
        double t0 = chance(0.5) ? tables().t0Grid[set % kT0Count] : uniform(5, 400);
        if (set % 10 == 1) t0 = set % 20 == 1 ? 900 : 1000;  // at midnight, after it
        const Cell cell{parameters(c, tp, chance(0.15) ? 0 : logUniform(1e-7, 1e-3),
                                   chance(0.15) ? 0 : logUniform(1e-6, 1e-3)),
                        set % kScheduleCount,
                        chance(0.5) ? tables().v0Grid[set % kV0Count] : uniform(10, 500), t0};
        const int n = cell.n();
        ASSERT_LE(n, kMaxIntervals);
        VoidHistory ref, got;
        const std::string what = "set " + std::to_string(set) + " N=" + std::to_string(n);
        referenceOff += compareWithReference(cell, fast(cell, &got), reference(cell, &ref), what);
        double scale = 0;  // the literal sums lose about 1e-16 of the delivered activity per term
        for (double f : cell.p.fraction) scale += std::fabs(f);
        for (int d = 1; d <= n; ++d) {
            ASSERT_NEAR(got.voidTime[d], ref.voidTime[d], 1e-9) << what << " void " << d;
            ASSERT_NEAR(got.voidVolume[d], ref.voidVolume[d], 1e-12 * ref.voidVolume[d]) << what;
            ASSERT_NEAR(got.voidActivity[d], ref.voidActivity[d], 1e-13 * scale) << what;
            clamped += ref.voidActivity[d] < 0;
        }
    }
    EXPECT_GE(clamped, 5000);  // voids with negative activity: the clamp acts
    EXPECT_LE(referenceOff, kSets / 8);
}

// Fixed cases, one with the clamp in most intervals. The literal sums lose accuracy to the
// cancellation between inflow and outflow as N grows; carrying the content does not, as
// extended precision shows. A cell computed alone gives the very dose of its row.
TEST(FastEngineCells, AccurateAndAloneAsInItsRow) {
    const Cell cases[] = {
        {parameters({{0.99, 6.93e-3, 100}, {0.01, 6.88e-5, 1.01e4}}, 361), 0, 10, 20},
        {parameters({{0.53, 1.604167e-4, 4320}}, 11520), 1, 100, 120},
        {parameters({{0.65, 1.925e-3, 360}, {0.28, 6.015625e-6, 1.152e5}}, 8.04e3), 2, 500, 60},
        {parameters({{0.4, 3.85e-3, 180}, {0.6, 5e-5, 6000}}, 1.0e5), 0, 300, 180},
        {parameters({{1.0, 0.05, 14}, {-0.9, 0.002, 3000}}, 600), 1, 50, 80},
        {parameters({{0.9, 6.93e-3, 100}, {-0.3, 1e-4, 1.2e4}}, 8000), 2, 200, 40},
    };
    for (const Cell& c : cases) {
        const long double exact = extended(c);
        auto error = [&](double dose) { return std::fabs(double((dose - exact) / exact)); };
        // A few units of rounding either way are noise, not a loss of accuracy.
        EXPECT_LE(error(fast(c)), std::min(std::max(error(reference(c)), 8e-16), 1e-14));
        const auto rows = computeDoseTablesFast(c.p, tables(), c.n());
        forEachCell([&](int s, int v, int t) {
            EXPECT_EQ(rows[s].at(t, v), fast({c.p, s, tables().v0Grid[v], tables().t0Grid[t]}));
        });
    }
    // Components that cancel exactly keep the bladder empty; with no fraction at all every
    // dose is exactly 0.
    EXPECT_EQ(fast({parameters({{0.5, 0.01, 70}, {-0.5, 0.01, 70}}, 360), 1, 100, 60}), 0.0);
    for (const DoseTable& table : computeDoseTablesFast(parameters({}, 360), tables(), 5))
        EXPECT_EQ(table, DoseTable{});
}
