#include "engine/sampling.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <thread>

namespace orvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// A double in (0, 1) from the top 53 bits: never 0 or 1, so every quantile is finite.
double openUnit(std::uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53;
}

bool withinBounds(const std::vector<UncertainInput>& inputs, const std::vector<double>& values) {
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (!(values[i] >= inputs[i].distribution.min && values[i] <= inputs[i].distribution.max))
            return false;
    return true;
}

// Draws and evaluates samples [first, last) into the result's rows.
void runRange(const std::vector<UncertainInput>& inputs, const DoseFunction& dose,
              const UncertaintyOptions& options, std::uint64_t first, std::uint64_t last,
              UncertaintyResult& result) {
    const std::size_t width = inputs.size();
    const std::uint64_t seed = options.seed;
    for (std::uint64_t s = first; s < last; ++s) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            throw UncertaintyCancelled();
        const std::vector<double> values = drawSample(inputs, seed, s);
        std::copy(values.begin(), values.end(), result.values.begin() + s * width);
        std::optional<double> d;
        if (withinBounds(inputs, values)) d = dose(values);
        result.doses[s] = d && std::isfinite(*d) ? *d : kNaN;
        if (options.done) options.done->fetch_add(1, std::memory_order_relaxed);
    }
}

double percentileOfInput(const UncertainInput& input, const std::vector<UncertainInput>& inputs,
                         std::size_t which, double p, const DoseFunction& dose) {
    std::vector<double> values(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) values[i] = inputs[i].nominal;
    values[which] = boundedQuantile(input.distribution, p);
    const std::optional<double> d = dose(values);
    return d && std::isfinite(*d) ? *d : kNaN;
}

}  // namespace

std::uint64_t sampleSeed(std::uint64_t masterSeed, std::uint64_t index) {
    return splitmix64(splitmix64(masterSeed) ^ index);
}

std::vector<double> drawSample(const std::vector<UncertainInput>& inputs, std::uint64_t masterSeed,
                               std::uint64_t index) {
    std::mt19937_64 generator(sampleSeed(masterSeed, index));
    std::vector<double> values(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        values[i] = quantile(inputs[i].distribution, openUnit(generator()));
    return values;
}

int defaultSamplingThreads(std::uint64_t samples) {
    constexpr std::uint64_t kTwoThreadSamples = 1000;
    return samples >= kTwoThreadSamples && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

double percentileOfSorted(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return kNaN;
    const double rank = (sorted.size() - 1) * p / 100;
    const auto below = static_cast<std::size_t>(std::floor(rank));
    if (below + 1 >= sorted.size()) return sorted.back();
    return sorted[below] + (rank - below) * (sorted[below + 1] - sorted[below]);
}

std::vector<double> averagedRanks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && values[order[j + 1]] == values[order[i]]) ++j;
        const double shared = (i + j) / 2.0 + 1;  // mean of ranks i+1 .. j+1
        for (std::size_t k = i; k <= j; ++k) ranks[order[k]] = shared;
        i = j + 1;
    }
    return ranks;
}

double spearmanRho(const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() != y.size() || x.size() < 2) return kNaN;
    const std::vector<double> rx = averagedRanks(x);
    const std::vector<double> ry = averagedRanks(y);
    const double centre = (x.size() + 1) / 2.0;  // the mean of any averaged ranks
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (rx[i] - centre) * (ry[i] - centre);
        sxx += (rx[i] - centre) * (rx[i] - centre);
        syy += (ry[i] - centre) * (ry[i] - centre);
    }
    if (sxx == 0 || syy == 0) return kNaN;
    return sxy / std::sqrt(sxx * syy);
}

double TornadoBar::swing() const {
    return std::abs(high - low);
}

UncertaintyResult runUncertainty(const std::vector<UncertainInput>& inputs,
                                 const DoseFunction& dose, const UncertaintyOptions& options) {
    return runUncertainty(
        inputs, [&] { return dose; }, options);
}

UncertaintyResult runUncertainty(const std::vector<UncertainInput>& inputs,
                                 const DoseFunctionMaker& makeDose,
                                 const UncertaintyOptions& options) {
    for (const UncertainInput& input : inputs)
        if (const char* problem = distributionProblem(input.distribution); *problem)
            throw std::invalid_argument(input.path + ": " + problem);
    if (options.samples == 0) throw std::invalid_argument("samples: at least 1 is needed");

    UncertaintyResult result;
    const DoseFunction dose = makeDose();
    std::vector<double> nominal(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) nominal[i] = inputs[i].nominal;
    const std::optional<double> nominalDose = dose(nominal);
    if (!nominalDose || !std::isfinite(*nominalDose))
        throw std::invalid_argument("the scenario's own values give no dose");
    result.nominal = *nominalDose;

    const std::uint64_t n = options.samples;
    result.values.resize(n * inputs.size());
    result.doses.resize(n);
    const auto threads = static_cast<std::uint64_t>(std::clamp(options.threads, 1, 64));
    if (threads == 1 || n < threads) {
        runRange(inputs, dose, options, 0, n, result);
    } else {
        // Contiguous blocks, one per thread; each writes only its own rows.
        std::vector<std::thread> workers;
        std::vector<std::exception_ptr> failures(threads);
        for (std::uint64_t t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                try {
                    runRange(inputs, t == 0 ? dose : makeDose(), options, n * t / threads,
                             n * (t + 1) / threads, result);
                } catch (...) {
                    failures[t] = std::current_exception();
                }
            });
        for (std::thread& w : workers) w.join();
        for (const std::exception_ptr& f : failures)
            if (f) std::rethrow_exception(f);
    }

    // Statistics over the used samples, in sample order.
    std::vector<double> used;
    used.reserve(n);
    for (double d : result.doses)
        if (!std::isnan(d)) used.push_back(d);
    result.used = used.size();
    result.rejected = n - result.used;
    if (used.empty())
        throw std::invalid_argument("every one of the " + std::to_string(n) +
                                    " samples was rejected");
    result.mean = std::accumulate(used.begin(), used.end(), 0.0) / used.size();
    double squares = 0;
    for (double d : used) squares += (d - result.mean) * (d - result.mean);
    result.sd = used.size() > 1 ? std::sqrt(squares / (used.size() - 1)) : 0.0;

    std::vector<double> sorted = used;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 0; k < kReportedPercentiles.size(); ++k)
        result.percentiles[k] = percentileOfSorted(sorted, kReportedPercentiles[k]);

    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::vector<double> column;
        column.reserve(used.size());
        for (std::uint64_t s = 0; s < n; ++s)
            if (!std::isnan(result.doses[s]))
                column.push_back(result.values[s * inputs.size() + i]);
        result.rankCorrelation.push_back(spearmanRho(column, used));
        result.tornado.push_back({inputs[i].path,
                                  percentileOfInput(inputs[i], inputs, i, 0.05, dose),
                                  percentileOfInput(inputs[i], inputs, i, 0.95, dose)});
    }
    std::stable_sort(result.tornado.begin(), result.tornado.end(),
                     [](const TornadoBar& a, const TornadoBar& b) {
                         const double sa = a.swing(), sb = b.swing();
                         if (std::isnan(sb)) return !std::isnan(sa);
                         return sa > sb;
                     });
    return result;
}

}  // namespace orvane
