// The full 189-cell calculation, reference and fast engine, at the interval counts that
// matter: 11 (Tc-99m DTPA), 51 (just above the estimate's trial), 167, 500 and 1000.
//
//   bench_engine --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <stdexcept>

#include "engine/calculation.h"
#include "engine/fast_engine.h"
#include "engine/simulation.h"
#include "library/standards.h"

using namespace orvane;

namespace {

const ModelTables& tables() {
    static const ModelTables t = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat").tables;
    return t;
}

// Two components shaped like Tc-99m DTPA, with the longest biological half-life chosen so
// that IntervalCount gives n: Teff = 18 (n - 1) + 9 minutes.
ModelParameters parametersFor(int n, double fractionTwo = 0.01) {
    ModelParameters p;
    const double teff = 18.0 * (n - 1) + 9;
    const double tp = n <= 20 ? 361 : 5 * teff;
    const double tb = tp * teff / (tp - teff);
    p.fraction = {0.99, fractionTwo, 0, 0};
    p.rateConstant = {6.93e-3, kDecayNumerator / tb, 0, 0};
    p.biologicalHalfLife = {100, tb, 0, 0};
    p.physicalHalfLife = tp;
    p.physicalDecayConstant = kDecayNumerator / tp;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(5.56e-5);
    if (IntervalCount(p) != n) throw std::logic_error("benchmark parameters miss N");
    return p;
}

void calculation(benchmark::State& state, DoseEngine engine) {
    const int n = static_cast<int>(state.range(0));
    const ModelParameters p = parametersFor(n);
    for (auto _ : state) {
        DoseResults results = computeDoseResults(p, tables(), engine);
        benchmark::DoNotOptimize(results);
    }
    state.counters["N"] = n;
}

void Reference(benchmark::State& state) {
    calculation(state, DoseEngine::Reference);
}
void Fast(benchmark::State& state) {
    calculation(state, DoseEngine::Fast);
}

// A negative fraction: every interval checks whether a point can go negative, and many
// are summed point by point with the clamp.
void FastNegativeFraction(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const ModelParameters p = parametersFor(n, -0.3);
    for (auto _ : state) {
        DoseResults results = computeDoseResults(p, tables(), DoseEngine::Fast);
        benchmark::DoNotOptimize(results);
    }
}

}  // namespace

BENCHMARK(Reference)->Arg(11)->Arg(51)->Arg(167)->Arg(500)->Arg(1000)->Unit(
    benchmark::kMillisecond);
BENCHMARK(Fast)->Arg(11)->Arg(51)->Arg(167)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(FastNegativeFraction)
    ->Arg(11)
    ->Arg(51)
    ->Arg(167)
    ->Arg(500)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
