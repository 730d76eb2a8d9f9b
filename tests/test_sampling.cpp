// Sampling, statistics and sensitivity: a dose that is linear in Delta gives percentiles that
// are the same linear map of Delta's, the result is the same bytes on any number of threads,
// rejections are counted, and a dominant input ranks first.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

#include "engine/distribution.h"
#include "engine/sampling.h"
#include "engine/simulation.h"
#include "library/standards.h"

using namespace orvane;

namespace {

Distribution make(DistributionKind kind, double a, double b, double c = 0) {
    Distribution d;
    std::tie(d.kind, d.a, d.b, d.c) = std::tuple(kind, a, b, c);
    return d;
}

TEST(Distribution, QuantilesInvertTheirCumulativeProbability) {
    // Reference normal quantiles to 16 digits.
    const std::vector<std::pair<double, double>> normal{
        {0.975, 1.959963984540054},  {0.95, 1.6448536269514722},
        {0.75, 0.6744897501960817},  {0.5, 0.0},
        {0.01, -2.3263478740408408}, {1e-10, -6.361340902404056}};
    for (const auto& [p, z] : normal)
        EXPECT_NEAR(standardNormalQuantile(p), z, 2e-15 * (1 + std::abs(z))) << p;

    const std::vector<Distribution> kinds{
        make(DistributionKind::Normal, 5, 2), make(DistributionKind::Lognormal, 9.5, 3.0),
        make(DistributionKind::Uniform, 120, 240), make(DistributionKind::Triangular, 20, 100, 300),
        make(DistributionKind::Triangular, 0, 0, 1)};
    for (const Distribution& d : kinds)
        for (double p : {1e-6, 0.025, 0.3, 0.5, 0.7, 0.975, 1 - 1e-6})
            EXPECT_NEAR(cdf(d, quantile(d, p)), p, 1e-13) << static_cast<int>(d.kind) << " " << p;
    // Lognormal: gsd^1.6449 around the median at the 95th percentile.
    EXPECT_NEAR(quantile(kinds[1], 0.95), 9.5 * std::pow(3.0, 1.6448536269514722), 1e-12);

    // Within bounds the quantile is the truncated distribution's: uniform [0, 10] kept to
    // [2, 4] has its 5th percentile at 2.1.
    Distribution bounded = make(DistributionKind::Uniform, 0, 10);
    std::tie(bounded.min, bounded.max) = std::tuple(2.0, 4.0);
    EXPECT_DOUBLE_EQ(boundedQuantile(bounded, 0.05), 2.1);
    EXPECT_DOUBLE_EQ(acceptedProbability(bounded), 0.2);
}

TEST(Distribution, RefusesUnusableParameters) {
    const double inf = std::numeric_limits<double>::infinity();
    auto bounded = [](Distribution d, double min, double max) {
        std::tie(d.min, d.max) = std::tuple(min, max);
        return d;
    };
    const std::vector<std::pair<Distribution, bool>> cases{
        {make(DistributionKind::Normal, 1, 0), false},
        {make(DistributionKind::Normal, 1, -1), false},
        {make(DistributionKind::Normal, inf, 1), false},
        {make(DistributionKind::Lognormal, 0, 2), false},
        {make(DistributionKind::Lognormal, 1, 1), false},
        {make(DistributionKind::Uniform, 2, 2), false},
        {make(DistributionKind::Triangular, 0, 5, 4), false},
        {bounded(make(DistributionKind::Uniform, 120, 240), 250, 300), false},  // no probability
        {bounded(make(DistributionKind::Lognormal, 1, 2), 5, 4), false},
        {bounded(make(DistributionKind::Normal, 1, 2), -inf, -inf), false},
        {bounded(make(DistributionKind::Normal, 0.5, 0.05), 0, 1), true},
        {make(DistributionKind::Triangular, 0, 0, 1), true}};
    for (const auto& [d, usable] : cases)
        EXPECT_EQ(*distributionProblem(d) == '\0', usable) << static_cast<int>(d.kind) << d.a;
}

TEST(Statistics, PercentilesAndTiedRanks) {
    const std::vector<double> sorted{1, 2, 4, 8};
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 50), 3);
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 2.5), 1.075);
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 100), 8);
    EXPECT_TRUE(std::isnan(percentileOfSorted({}, 50)));

    EXPECT_EQ(averagedRanks({3, 1, 2, 2, 3}), (std::vector<double>{4.5, 1, 2.5, 2.5, 4.5}));
    // rho of {1,2,2,3} against {1,2,3,4}: ranks {1,2.5,2.5,4}; sxy = 4.5, sxx = 4.5, syy = 5.
    EXPECT_NEAR(spearmanRho({1, 2, 2, 3}, {1, 2, 3, 4}), 4.5 / std::sqrt(4.5 * 5), 1e-15);
    EXPECT_DOUBLE_EQ(spearmanRho({1, 2, 3}, {30, 20, 10}), -1);
    EXPECT_TRUE(std::isnan(spearmanRho({1, 1, 1}, {1, 2, 3})));
}

// The table model's dose for one parameter set: with Gamma 0 it is proportional to Delta.
double tableCellDose(double delta) {
    static const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
    ModelParameters p;
    p.fraction = {1, 0, 0, 0};
    p.rateConstant = {0.0099, 0, 0, 0};
    p.biologicalHalfLife = {70, 0, 0, 0};
    p.physicalHalfLife = 110;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(delta);
    VoidHistory history;
    return SimulateDose(p, kFillRateSchedules[1], 100, 60, 6, data.tables.quadratureNodes,
                        data.tables.quadratureWeights, history);
}

TEST(Uncertainty, DoseLinearInDeltaHasDeltasPercentilesMappedLinearly) {
    const std::vector<UncertainInput> inputs{
        {"delta", make(DistributionKind::Uniform, 1e-5, 5e-5), 2e-5}};
    const DoseFunction dose = [](const std::vector<double>& v) { return tableCellDose(v[0]); };
    const UncertaintyResult r = runUncertainty(inputs, dose, {20000, 7, 1});
    const double slope = tableCellDose(1e-5) / 1e-5;
    ASSERT_EQ(r.used, 20000u);
    EXPECT_DOUBLE_EQ(r.nominal, slope * 2e-5);
    for (std::size_t k = 0; k < kReportedPercentiles.size(); ++k) {
        const double p = kReportedPercentiles[k] / 100;
        // Sampling error of a uniform's percentile: (b - a) sqrt(p (1 - p) / n); allow 4 of it.
        const double tolerance = 4 * 4e-5 * std::sqrt(p * (1 - p) / 20000);
        EXPECT_NEAR(r.percentiles[k] / slope, 1e-5 + 4e-5 * p, tolerance) << p;
    }
    EXPECT_NEAR(r.mean / slope, 3e-5, 4 * 4e-5 / std::sqrt(12 * 20000.0));
    EXPECT_NEAR(r.sd / slope, 4e-5 / std::sqrt(12.0), 4e-7);
    EXPECT_NEAR(r.rankCorrelation[0], 1, 1e-12);
    EXPECT_NEAR(r.tornado[0].low, slope * 1.2e-5, 1e-12 * slope * 1e-5);
    EXPECT_NEAR(r.tornado[0].high, slope * 4.8e-5, 1e-12 * slope * 1e-5);
}

TEST(Uncertainty, SameBytesOnAnyNumberOfThreads) {
    const std::vector<UncertainInput> inputs{{"a", make(DistributionKind::Lognormal, 2, 1.5), 2},
                                             {"b", make(DistributionKind::Triangular, 0, 1, 4), 1},
                                             {"c", make(DistributionKind::Normal, 3, 1), 3}};
    const DoseFunction dose = [](const std::vector<double>& v) -> std::optional<double> {
        if (v[2] < 2) return std::nullopt;
        return v[0] * std::exp(-v[1]) / v[2];
    };
    const UncertaintyResult one = runUncertainty(inputs, dose, {5001, 99, 1});
    EXPECT_GT(one.rejected, 0u);
    for (int threads : {2, 3, 8}) {
        const UncertaintyResult many = runUncertainty(inputs, dose, {5001, 99, threads});
        ASSERT_EQ(many.values.size(), one.values.size());
        EXPECT_EQ(std::memcmp(many.values.data(), one.values.data(), one.values.size() * 8), 0);
        EXPECT_EQ(std::memcmp(many.doses.data(), one.doses.data(), one.doses.size() * 8), 0);
        EXPECT_EQ(std::memcmp(&many.mean, &one.mean, 8), 0);
        EXPECT_EQ(std::memcmp(&many.sd, &one.sd, 8), 0);
        EXPECT_EQ(std::memcmp(many.percentiles.data(), one.percentiles.data(), 7 * 8), 0);
        EXPECT_EQ(many.rejected, one.rejected);
    }
    // A window's progress counter sees every sample; a cancel request stops the run.
    std::atomic<std::uint64_t> done = 0;
    std::atomic<bool> cancel = false;
    UncertaintyOptions watched{5001, 99, 2, &done, &cancel};
    const UncertaintyResult counted = runUncertainty(inputs, dose, watched);
    EXPECT_EQ(std::memcmp(counted.doses.data(), one.doses.data(), one.doses.size() * 8), 0);
    EXPECT_EQ(done.load(), 5001u);
    cancel = true;
    EXPECT_THROW(runUncertainty(inputs, dose, watched), UncertaintyCancelled);
    // Another seed draws other values.
    EXPECT_NE(runUncertainty(inputs, dose, {5001, 100, 1}).values, one.values);
}

TEST(Uncertainty, RejectionsOutOfBoundsAndByTheModelAreCounted) {
    // x uniform on [0, 1] kept below 0.6; the model refuses y above 0.5: about 0.6 x 0.5 kept.
    Distribution x = make(DistributionKind::Uniform, 0, 1);
    x.max = 0.6;
    const std::vector<UncertainInput> inputs{{"x", x, 0.3},
                                             {"y", make(DistributionKind::Uniform, 0, 1), 0.2}};
    const DoseFunction dose = [](const std::vector<double>& v) -> std::optional<double> {
        if (v[1] > 0.5) return std::nullopt;
        return v[0] + v[1];
    };
    const std::uint64_t n = 10000;
    const UncertaintyResult r = runUncertainty(inputs, dose, {n, 3, 2});
    EXPECT_EQ(r.used + r.rejected, n);
    EXPECT_NEAR(static_cast<double>(r.used) / n, 0.3, 4 * std::sqrt(0.3 * 0.7 / n));
    std::uint64_t kept = 0;
    for (std::uint64_t s = 0; s < n; ++s) {
        const bool inside = r.values[2 * s] <= 0.6 && r.values[2 * s + 1] <= 0.5;
        kept += inside;
        EXPECT_EQ(std::isnan(r.doses[s]), !inside) << s;
    }
    EXPECT_EQ(kept, r.used);
    // The kept doses are uniform x on [0, 0.6] plus uniform y on [0, 0.5]: mean 0.55.
    EXPECT_NEAR(r.mean, 0.55, 0.01);
    // The tornado takes x's percentiles within its bounds: 0.03 and 0.57, y at 0.2.
    const TornadoBar& bx = r.tornado[0].path == "x" ? r.tornado[0] : r.tornado[1];
    EXPECT_DOUBLE_EQ(bx.low, 0.23);
    EXPECT_DOUBLE_EQ(bx.high, 0.77);
    // y's 95th percentile (0.95) is refused by the model: no dose, and that bar sorts last.
    EXPECT_EQ(r.tornado[1].path, "y");
    EXPECT_TRUE(std::isnan(r.tornado[1].high));

    const DoseFunction refuseAll = [](const std::vector<double>& v) -> std::optional<double> {
        if (v[0] == 0.3) return 1.0;  // only the nominal values give a dose
        return std::nullopt;
    };
    EXPECT_THROW(runUncertainty(inputs, refuseAll, {100, 1, 1}), std::invalid_argument);
}

TEST(Uncertainty, DominantInputRanksFirst) {
    // The dose moves 50 times more with "strong" than with "weak", over the same spread;
    // "weak" is listed first so that input order cannot be the reason.
    const std::vector<UncertainInput> inputs{{"weak", make(DistributionKind::Normal, 10, 2), 10},
                                             {"none", make(DistributionKind::Uniform, 0, 1), 0.5},
                                             {"strong", make(DistributionKind::Normal, 10, 2), 10}};
    const DoseFunction dose = [](const std::vector<double>& v) {
        return std::optional<double>(0.1 * v[0] + 5 * v[2] + 0 * v[1]);
    };
    const UncertaintyResult r = runUncertainty(inputs, dose, {4000, 11, 2});
    EXPECT_EQ(r.tornado[0].path, "strong");
    EXPECT_EQ(r.tornado[1].path, "weak");
    EXPECT_EQ(r.tornado[2].path, "none");
    EXPECT_GT(r.rankCorrelation[2], 0.99);
    EXPECT_LT(std::abs(r.rankCorrelation[1]), 0.1);
    EXPECT_LT(r.rankCorrelation[0], 0.1);
}

}  // namespace
