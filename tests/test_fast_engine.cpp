// The fast engine against the literal sums: every standard, random parameter sets up to
// N = 1000, the void record, the clamp, the displayed texts, accuracy in extended precision,
// and the same doses whatever the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/fast_engine.h"
#include "engine/numtext.h"
#include "engine/simulation.h"
#include "library/standards.h"

using namespace orvane;

namespace {

constexpr double kAgreement = 1e-12;

const StandardData& standardData() {
    static const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
    return data;
}

const ModelTables& tables() {
    return standardData().tables;
}

double referenceCell(const ModelParameters& p, int schedule, double v0, double t0, int n,
                     VoidHistory* history = nullptr) {
    VoidHistory scratch;
    return SimulateDose(p, kFillRateSchedules[schedule], v0, t0, n, tables().quadratureNodes,
                        tables().quadratureWeights, history ? *history : scratch);
}

double fastCell(const ModelParameters& p, int schedule, double v0, double t0, int n,
                VoidHistory* history = nullptr) {
    return simulateDoseFast(p, kFillRateSchedules[schedule], v0, t0, n, tables().quadratureNodes,
                            tables().quadratureWeights, history);
}

double relativeDifference(double fast, double reference) {
    if (fast == reference) return 0;
    return std::fabs(fast - reference) / std::fabs(reference);
}

// Parameters as the calculation reads them, with N following from the half-lives.
ModelParameters parameters(std::vector<std::array<double, 3>> components, double tp,
                           double delta = 2.6e-6, double gamma = 5.56e-5) {
    ModelParameters p;
    for (std::size_t c = 0; c < components.size(); ++c) {
        p.fraction[c] = components[c][0];
        p.rateConstant[c] = components[c][1];
        p.biologicalHalfLife[c] = components[c][2];
    }
    p.physicalHalfLife = tp;
    p.physicalDecayConstant = kDecayNumerator / tp;
    p.deltaScaled = scaleEmissionConstant(delta);
    p.gammaScaled = scaleEmissionConstant(gamma);
    return p;
}

// True when the reference is so close to a rounding boundary of "scientific" that a change
// of 1e-12 of its value changes the text.
bool nearRoundingBoundary(double reference) {
    return formatScientific(reference * (1 + kAgreement)) !=
           formatScientific(reference * (1 - kAgreement));
}

struct TextComparison {
    int compared = 0;
    int nearBoundary = 0;
};

void expectSameText(double fast, double reference, const std::string& what, TextComparison& count) {
    if (nearRoundingBoundary(reference)) {
        ++count.nearBoundary;
        std::printf(
            "note: %s: reference %s lies within 1e-12 of a rounding boundary of its "
            "text; texts not compared (fast %s, reference %s)\n",
            what.c_str(), formatRoundTrip(reference).c_str(), formatScientific(fast).c_str(),
            formatScientific(reference).c_str());
        return;
    }
    ++count.compared;
    EXPECT_EQ(formatScientific(fast), formatScientific(reference)) << what;
}

}  // namespace

// All 20 standards as their fields show them. Full tables where the reference is cheap;
// at large N every cell of the fast table against the reference for a spread of cells.
TEST(FastEngineAgreement, EveryStandardMatchesTheReference) {
    TextComparison texts;
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardFieldTexts fields = standardFieldTexts(standardData().library[i]);
        const ModelParameters p = readModelParameters(fields.fields, fields.name);
        const int n = static_cast<int>(IntervalCount(p));
        const DoseResults fast = computeDoseResults(p, tables(), DoseEngine::Fast);
        const bool full = n <= 120;
        const DoseResults reference =
            full ? computeDoseResults(p, tables(), DoseEngine::Reference) : DoseResults{};
        int checked = 0;
        for (int s = 0; s < kScheduleCount; ++s) {
            for (int v = 0; v < kV0Count; ++v) {
                for (int t = 0; t < kT0Count; ++t) {
                    // At large N: the corners and a diagonal of every schedule.
                    const bool sampled = (v == t % kV0Count) || (v % 6 == 0 && t % 8 == 0);
                    if (!full && !sampled) continue;
                    const double ref =
                        full ? reference.tables[s].at(t, v)
                             : referenceCell(p, s, tables().v0Grid[v], tables().t0Grid[t], n);
                    const double got = fast.tables[s].at(t, v);
                    const std::string what = fields.name + " N=" + std::to_string(n) +
                                             " schedule " + std::to_string(s) + " V0 " +
                                             std::to_string(v) + " T0 " + std::to_string(t);
                    EXPECT_LE(relativeDifference(got, ref), kAgreement)
                        << what << ": fast " << formatRoundTrip(got) << " reference "
                        << formatRoundTrip(ref);
                    expectSameText(got, ref, what, texts);
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 20) << fields.name;
    }
    EXPECT_GT(texts.compared, 20 * 30);
}

// A cell in extended precision, the literal sums as written, to measure both engines by.
namespace {

long double extendedCell(const ModelParameters& p, const FillRateSchedule& schedule, double v0,
                         double t0, int n) {
    using L = long double;
    const QuadratureNodes& x = tables().quadratureNodes;
    const QuadratureWeights& w = tables().quadratureWeights;
    // The engines' inputs are doubles (the decay constant, 0.0039, 0.667 among them); the
    // exact value is that of these inputs.
    const L lp = p.physicalDecayConstant;
    const L delta = p.deltaScaled;
    const L gamma = L(p.gammaScaled) * L(0.0039);
    auto inflow = [&](L t) {
        L sum = 0;
        for (int i = 0; i < kComponentCount; ++i) {
            if (p.fraction[i] == 0) continue;
            sum += std::exp(-lp * t) * (-std::expm1(-L(p.rateConstant[i]) * t)) * p.fraction[i];
        }
        return sum;
    };
    std::vector<L> time(n + 1), removed(n + 1);
    VoidingClock clock(schedule, v0, t0);
    L total = 0;
    for (int d = 1; d <= n; ++d) {
        const IntervalBounds b = clock.next();
        const L ts = b.start, te = b.end;
        auto content = [&](L t) {
            L out = 0;
            for (int j = 1; j < d; ++j) out += std::exp(-lp * (t - time[j])) * removed[j];
            return inflow(t) - out;
        };
        for (int i = 0; i < kNodeCount; ++i) {
            for (const L y : {L(x[i]), -L(x[i])}) {
                const L t = ts + (1 + y) * (te - ts) / 2;
                const L v = L(b.startVolume) + L(b.rate) * (t - ts);
                const L s = delta / (v * 120) + gamma / (std::pow(v, L(0.667)) * 60);
                L a = content(t);
                if (a < 0) a = 0;
                total += a * s * L(w[i]) * (te - ts) / 2;
            }
        }
        const L volume = L(b.startVolume) + L(b.rate) * (te - ts);
        removed[d] = content(te) * (1 - 10 / volume);
        time[d] = te;
    }
    return 1000 * total / 3.7L;
}

}  // namespace

// Random parameter sets: N from 5 to 1000, one to four components, negative fractions,
// zero rate constants, outflows above the inflow (so the clamp acts), with and without
// either emission, and physical half-lives short enough to overflow an undecayed sum.
TEST(FastEngineAgreement, RandomParameterSetsMatchTheReference) {
    std::mt19937_64 random(20240611);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    auto logUniform = [&](double lo, double hi) {
        return std::exp(uniform(std::log(lo), std::log(hi)));
    };
    auto chance = [&](double p) { return uniform(0, 1) < p; };

    constexpr int kSets = 240;
    int negativeVoids = 0;
    int shortLived = 0;
    int largeN = 0;
    int referenceOff = 0;
    TextComparison texts;
    for (int set = 0; set < kSets; ++set) {
        // N spread over 5..1000, weighted towards small N where the reference is cheap.
        const int wantN = set % 8 == 0 ? static_cast<int>(uniform(500, 1000))
                                       : static_cast<int>(logUniform(5, 400));
        const double teff = 18.0 * (wantN - 1) + uniform(0.5, 17.5);
        double tp = chance(0.1) ? uniform(0.3, 3) : teff * logUniform(1.05, 50);
        double tbMax = tp > teff ? tp * teff / (tp - teff) : 0;
        if (tp <= teff) tbMax = logUniform(10, 1e5);

        const int components = 1 + static_cast<int>(uniform(0, 4));
        std::vector<std::array<double, 3>> c;
        bool negative = false;
        for (int i = 0; i < components; ++i) {
            double f = uniform(0.01, 1);
            if (chance(0.3)) {
                f = -uniform(0.01, 0.8);
                negative = true;
            }
            double k = logUniform(1e-4, 0.5);
            if (chance(0.1)) k = 0;
            c.push_back({f, k, i == 0 ? tbMax : uniform(0, tbMax)});
        }
        // A leftover component with fraction 0 but a rate constant takes no part.
        if (components < 4 && chance(0.3)) c.push_back({0.0, uniform(0, 0.1), uniform(0, tbMax)});
        const double delta = chance(0.15) ? 0 : logUniform(1e-7, 1e-3);
        const double gamma = chance(0.15) ? 0 : logUniform(1e-6, 1e-3);
        const ModelParameters p = parameters(c, tp, delta, gamma);
        const int n = static_cast<int>(IntervalCount(p));
        ASSERT_GE(n, 5);
        ASSERT_LE(n, kMaxIntervals);

        const int schedule = static_cast<int>(uniform(0, 3));
        const double v0 = chance(0.5) ? tables().v0Grid[set % kV0Count] : uniform(10, 500);
        const double t0 = chance(0.5) ? tables().t0Grid[set % kT0Count] : uniform(5, 400);
        VoidHistory refHistory;
        const double ref = referenceCell(p, schedule, v0, t0, n, &refHistory);
        const double got = fastCell(p, schedule, v0, t0, n);
        const std::string what =
            "set " + std::to_string(set) + " N=" + std::to_string(n) + " Tp " + formatRoundTrip(tp);
        if (relativeDifference(got, ref) > kAgreement) {
            // Where they differ, the reference must be the one that is off: its inflow and
            // outflow cancel to a remainder below its own rounding (a bladder that the
            // clamp keeps all but empty, or an activity decayed to 1e-70 of the dose).
            const long double exact = extendedCell(p, kFillRateSchedules[schedule], v0, t0, n);
            const long double errorFast = std::fabs(got - exact);
            const long double errorReference = std::fabs(ref - exact);
            std::printf(
                "note: %s: fast %s and reference %s differ by more than 1e-12; "
                "extended precision %s: error fast %.2Le, reference %.2Le\n",
                what.c_str(), formatRoundTrip(got).c_str(), formatRoundTrip(ref).c_str(),
                formatRoundTrip(static_cast<double>(exact)).c_str(), errorFast, errorReference);
            EXPECT_LT(errorFast * 10, errorReference) << what;
            // What the window shows is then the text of the exact dose, unless that lies
            // below even the extended precision's rounding (a bladder kept empty).
            if (errorFast <= kAgreement * std::fabs(exact)) {
                expectSameText(got, static_cast<double>(exact), what + " (extended)", texts);
            }
            ++referenceOff;
        } else {
            expectSameText(got, ref, what, texts);
        }

        // Did this set exercise what it is meant to?
        if (negative) {
            bool voidNegative = false;
            for (int d = 1; d <= n; ++d) voidNegative |= refHistory.voidActivity[d] < 0;
            negativeVoids += voidNegative;
        }
        shortLived += tp < 3;
        largeN += n >= 500;
    }
    std::printf(
        "note: %d sets, %d with negative void activity (clamp acting), %d with "
        "Tp < 3 min, %d with N >= 500, %d where the reference is off by more than "
        "1e-12; texts compared %d, near a boundary %d\n",
        kSets, negativeVoids, shortLived, largeN, referenceOff, texts.compared, texts.nearBoundary);
    EXPECT_LE(referenceOff, kSets / 8);
    EXPECT_GE(negativeVoids, 15);
    EXPECT_GE(shortLived, 10);
    EXPECT_GE(largeN, 25);
}

// The void record: activity kept as computed (negative too), volume and time of every void,
// including clocks where the first void falls exactly at or after midnight.
TEST(FastEngineAgreement, VoidRecordMatchesTheReference) {
    const ModelParameters cases[] = {
        parameters({{0.99, 6.93e-3, 100}, {0.01, 6.88e-5, 1.01e4}}, 361),
        // More outflow than inflow: the second component takes back what the first gave.
        parameters({{1.0, 0.05, 14}, {-0.9, 0.002, 3000}}, 600),
        parameters({{0.5, 0.02, 35}, {0.3, 0.001, 700}, {-0.2, 0.3, 2}, {0.4, 0, 900}}, 4000),
    };
    const double t0s[] = {20, 180, 900, 1000, 33.3};
    for (const ModelParameters& p : cases) {
        const int n = static_cast<int>(IntervalCount(p));
        double scale = 0;
        for (double f : p.fraction) scale += std::fabs(f);
        for (double t0 : t0s) {
            for (int s = 0; s < kScheduleCount; ++s) {
                VoidHistory ref, fast;
                const double refDose = referenceCell(p, s, 50, t0, n, &ref);
                const double fastDose = fastCell(p, s, 50, t0, n, &fast);
                EXPECT_LE(relativeDifference(fastDose, refDose), kAgreement) << t0;
                for (int d = 1; d <= n; ++d) {
                    EXPECT_NEAR(fast.voidTime[d], ref.voidTime[d], 1e-9) << t0 << " " << d;
                    EXPECT_NEAR(fast.voidVolume[d], ref.voidVolume[d], 1e-12 * ref.voidVolume[d])
                        << t0 << " " << d;
                    // The literal sums lose about 1e-16 of the delivered activity per term.
                    EXPECT_NEAR(fast.voidActivity[d], ref.voidActivity[d], 1e-13 * scale)
                        << t0 << " void " << d;
                }
            }
        }
    }
}

TEST(FastEngineCases, ComponentsThatDeliverNothing) {
    const ModelTables& g = tables();
    // No fraction at all: every dose exactly 0.
    const auto none = computeDoseTablesFast(parameters({}, 360), g, 5);
    for (const DoseTable& table : none) EXPECT_EQ(table, DoseTable{});

    // A fraction with rate constant 0, or a rate constant with fraction 0, adds nothing.
    const ModelParameters base = parameters({{0.8, 0.01, 70}}, 360);
    const ModelParameters extra = parameters({{0.8, 0.01, 70}, {0.5, 0, 0}, {0, 0.3, 0}}, 360);
    EXPECT_EQ(computeDoseTablesFast(base, g, 11), computeDoseTablesFast(extra, g, 11));

    // Components that cancel exactly keep the bladder empty: the clamp gives 0.
    const ModelParameters cancel = parameters({{0.5, 0.01, 70}, {-0.5, 0.01, 70}}, 360);
    EXPECT_EQ(fastCell(cancel, 1, 100, 60, 11), 0.0);
    EXPECT_EQ(referenceCell(cancel, 1, 100, 60, 11), 0.0);
}

TEST(FastEngineCases, ShortPhysicalHalfLivesStayFinite) {
    // With Tp of a fraction of a minute, e^{+lp t} over the simulated span is far beyond
    // the double range; the doses must still be those of the reference.
    for (double tp : {0.05, 0.4, 1.0, 2.5}) {
        const ModelParameters p = parameters({{0.7, 0.5, 1.4}, {0.3, 0.01, 5}}, tp);
        const int n = static_cast<int>(IntervalCount(p));
        for (int t = 0; t < kT0Count; ++t) {
            const double ref = referenceCell(p, 2, 10, tables().t0Grid[t], n);
            const double got = fastCell(p, 2, 10, tables().t0Grid[t], n);
            ASSERT_TRUE(std::isfinite(got)) << tp;
            EXPECT_LE(relativeDifference(got, ref), kAgreement) << tp << " " << t;
        }
    }
}

// The literal sums lose accuracy to cancellation between inflow and outflow as N grows;
// carrying the content does not. Both against the same cells in extended precision.
TEST(FastEngineAccuracy, AtLeastAsAccurateAsTheReference) {
    struct Case {
        ModelParameters p;
        int schedule;
        double v0, t0;
    };
    const Case cases[] = {
        {parameters({{0.99, 6.93e-3, 100}, {0.01, 6.88e-5, 1.01e4}}, 361), 0, 10, 20},
        {parameters({{0.53, 1.604167e-4, 4320}}, 11520), 1, 100, 120},
        {parameters({{0.65, 1.925e-3, 360}, {0.28, 6.015625e-6, 1.152e5}}, 8.04e3), 2, 500, 60},
        {parameters({{0.4, 3.85e-3, 180}, {0.6, 5e-5, 6000}}, 1.0e5), 0, 300, 180},
        {parameters({{1.0, 0.05, 14}, {-0.9, 0.002, 3000}}, 600), 1, 50, 80},
    };
    double worstFast = 0, worstReference = 0;
    for (const Case& c : cases) {
        const int n = static_cast<int>(IntervalCount(c.p));
        const long double exact = extendedCell(c.p, kFillRateSchedules[c.schedule], c.v0, c.t0, n);
        const double ref = referenceCell(c.p, c.schedule, c.v0, c.t0, n);
        const double got = fastCell(c.p, c.schedule, c.v0, c.t0, n);
        const double errorReference = static_cast<double>(std::fabs((ref - exact) / exact));
        const double errorFast = static_cast<double>(std::fabs((got - exact) / exact));
        std::printf("note: N=%4d relative error: reference %.2e, fast %.2e\n", n, errorReference,
                    errorFast);
        // A few units of rounding on either side are noise, not a loss of accuracy.
        EXPECT_LE(errorFast, std::max(errorReference, 8e-16)) << "N=" << n;
        worstFast = std::max(worstFast, errorFast);
        worstReference = std::max(worstReference, errorReference);
    }
    EXPECT_LE(worstFast, worstReference);
    EXPECT_LT(worstFast, 1e-14);
}

// The doses do not depend on how many threads compute them, nor on whether a cell is
// computed alone or with the whole table.
TEST(FastEngineThreads, SameDosesWhateverTheThreadCount) {
    const ModelParameters sets[] = {
        parameters({{0.65, 1.925e-3, 360}, {0.28, 1e-4, 1.2e4}}, 8000),
        // The clamp acts in most intervals here.
        parameters({{0.9, 6.93e-3, 100}, {-0.3, 1e-4, 1.2e4}}, 8000),
    };
    for (const ModelParameters& p : sets) {
        const int n = static_cast<int>(IntervalCount(p));
        ASSERT_GE(n, kFastThreadingMinIntervals);
        const auto one = computeDoseTablesFast(p, tables(), n, 1);
        EXPECT_EQ(computeDoseTablesFast(p, tables(), n, 2), one);
        EXPECT_EQ(computeDoseTablesFast(p, tables(), n, 8), one);
        EXPECT_EQ(computeDoseTablesFast(p, tables(), n), one);
        // A cell alone, with tables of its own, gives the very dose of its row.
        for (int s = 0; s < kScheduleCount; ++s) {
            for (int v = 0; v < kV0Count; ++v) {
                for (int t = 0; t < kT0Count; ++t) {
                    ASSERT_EQ(fastCell(p, s, tables().v0Grid[v], tables().t0Grid[t], n),
                              one[s].at(t, v));
                }
            }
        }
        // Several callers at once share nothing mutable.
        std::vector<std::array<DoseTable, kScheduleCount>> results(4);
        std::vector<std::thread> callers;
        for (auto& r : results) {
            callers.emplace_back([&] { r = computeDoseTablesFast(p, tables(), n); });
        }
        for (std::thread& t : callers) t.join();
        for (const auto& r : results) EXPECT_EQ(r, one);
    }
}

// The program's entry points use the fast engine, and the estimate's trial computes what
// the reference trial computes.
TEST(FastEngineDriver, CalculationAndTrialUseTheFastEngine) {
    const StandardFieldTexts fields = standardFieldTexts(standardData().library[0]);
    const DoseResults byDefault = RunCalculation(fields.fields, fields.name, tables());
    const ModelParameters p = readModelParameters(fields.fields, fields.name);
    EXPECT_EQ(byDefault.tables,
              computeDoseTablesFast(p, tables(), static_cast<int>(IntervalCount(p))));

    FieldTexts longLived{};
    longLived[0] = "6.50E-01";
    longLived[1] = "1.93E-03";
    longLived[2] = "3.60E+02";
    longLived[3] = "2.80E-01";
    longLived[4] = "6.02E-06";
    longLived[5] = "1.15E+05";
    longLived[12] = "8.04E+03";
    longLived[13] = "1.00E-05";
    longLived[14] = "3.00E-04";
    auto noClock = [] { return 0; };
    const TimeEstimate fast = EstimateCalculationTime(longLived, tables(), noClock);
    const TimeEstimate reference =
        EstimateCalculationTime(longLived, tables(), noClock, DoseEngine::Reference);
    ASSERT_TRUE(fast.trialRun);
    for (int v = 0; v < kV0Count; ++v) {
        for (int t = 0; t < kT0Count; ++t) {
            EXPECT_LE(relativeDifference(fast.trialTable.at(t, v), reference.trialTable.at(t, v)),
                      kAgreement);
            EXPECT_GT(fast.trialTable.at(t, v), 0);
        }
    }
    EXPECT_EQ(fast.text, "0.0 minutes");
}
