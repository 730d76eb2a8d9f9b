// Monte Carlo propagation of uncertain inputs through a dose function, with the statistics
// and the two sensitivity measures (rank correlation and one-at-a-time tornado).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/distribution.h"

namespace orvane {

// One varied input: its name (a key path), its distribution, and the value the unvaried
// calculation uses.
struct UncertainInput {
    std::string path;
    Distribution distribution;
    double nominal = 0.0;
};

// The dose (mGy/MBq) for one value per input, in input order; nullopt when the values make
// an input the model refuses (the sample is then rejected).
using DoseFunction = std::function<std::optional<double>(const std::vector<double>& values)>;
// Makes the dose function of one thread (with scratch space of its own); called once per
// thread, possibly from several threads at once.
using DoseFunctionMaker = std::function<DoseFunction()>;

// The sample's own uniform variates: a Mersenne Twister (64-bit) seeded from the master seed
// and the sample index, so that a sample never depends on which thread draws it.
std::uint64_t sampleSeed(std::uint64_t masterSeed, std::uint64_t index);

// Sample `index`'s value of every input (one uniform variate per input, in input order, put
// through the input's quantile); a value outside an input's [min, max] is returned as drawn.
std::vector<double> drawSample(const std::vector<UncertainInput>& inputs, std::uint64_t masterSeed,
                               std::uint64_t index);

// The probabilities reported, in per cent.
inline constexpr std::array<double, 7> kReportedPercentiles{2.5, 5, 25, 50, 75, 95, 97.5};

// Percentile p (0..100) of ascending values: linear interpolation between order statistics
// at rank (n - 1) p / 100 (the usual "type 7" definition). NaN when values is empty.
double percentileOfSorted(const std::vector<double>& sorted, double p);

// Ranks 1..n of the values, tied values sharing the mean of their ranks.
std::vector<double> averagedRanks(const std::vector<double>& values);
// Spearman's rho: Pearson's correlation of the averaged ranks; NaN when either side is
// constant or there are fewer than two pairs.
double spearmanRho(const std::vector<double>& x, const std::vector<double>& y);

// One tornado bar: the dose (mGy/MBq) with one input at its 5th and at its 95th percentile
// (of the distribution within its bounds), every other input at nominal. NaN when the model
// refuses that value.
struct TornadoBar {
    std::string path;
    double low = 0.0;
    double high = 0.0;
    double swing() const;  // |high - low|; NaN sorts after every number
};

struct UncertaintyOptions {
    std::uint64_t samples = 1000;
    std::uint64_t seed = 1;
    int threads = 1;  // 1 or more; the result does not depend on it
    // For a window: samples finished so far (counted up while running), and a request to
    // stop, honoured within one sample per thread by throwing UncertaintyCancelled.
    std::atomic<std::uint64_t>* done = nullptr;
    const std::atomic<bool>* cancel = nullptr;
};

// The threads a run of that many samples uses unless told otherwise: two from 1000 samples on
// a machine with two cores or more (a short run gains nothing from a second thread), else one.
int defaultSamplingThreads(std::uint64_t samples);

class UncertaintyCancelled : public std::runtime_error {
public:
    UncertaintyCancelled() : std::runtime_error("the uncertainty analysis was cancelled") {}
};

struct UncertaintyResult {
    double nominal = 0.0;        // dose with every input at nominal, mGy/MBq
    std::vector<double> values;  // samples x inputs, row by row, as drawn
    std::vector<double> doses;   // per sample; NaN where rejected
    std::uint64_t used = 0;      // samples with a dose
    std::uint64_t rejected = 0;  // out of bounds or refused by the model
    std::uint64_t clamped = 0;   // used samples the model computed at a limit (scenarios: a
                                 // residual drawn above the volume at a void left all there)
    double mean = 0.0;           // of the used doses
    double sd = 0.0;             // sample standard deviation (n - 1)
    std::array<double, 7> percentiles{};  // at kReportedPercentiles
    std::vector<double> rankCorrelation;  // per input, Spearman's rho with the dose
    std::vector<TornadoBar> tornado;      // sorted by swing, largest first
};

// The whole analysis. Throws std::invalid_argument when an input's distribution is
// unusable, when the nominal inputs give no dose, or when every sample is rejected.
UncertaintyResult runUncertainty(const std::vector<UncertainInput>& inputs,
                                 const DoseFunctionMaker& makeDose,
                                 const UncertaintyOptions& options);
// The same for a dose function that any number of threads may call at once.
UncertaintyResult runUncertainty(const std::vector<UncertainInput>& inputs,
                                 const DoseFunction& dose, const UncertaintyOptions& options);

}  // namespace orvane
