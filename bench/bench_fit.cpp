// The fit to a patient's measurements: two components fitted to 20 counted voids (target 20 ms
// or less), and "auto" (1, 2 and 3 components) with a 2000-sample dose interval on one thread
// (target 1 s or less). The voids are the engine's own for known kinetics, with 5 % noise.
//
//   bench_fit --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <stdexcept>

#include "engine/distribution.h"
#include "engine/fit.h"
#include "library/standards.h"

using namespace orvane;

namespace {

QuadratureRule rule() {
    static const StandardData d = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
    return {d.tables.quadratureNodes, d.tables.quadratureWeights};
}

ModelParameters kinetics(double f1, double t1, double f2, double t2) {
    ModelParameters p;
    p.fraction = {f1, f2, 0, 0};
    p.biologicalHalfLife = {t1, t2, 0, 0};
    p.rateConstant = {kDecayNumerator / t1, kDecayNumerator / t2, 0, 0};
    p.physicalHalfLife = 360.6;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(5.56e-5);
    return p;
}

// Twenty voids over a day and a half; the radiopharmaceutical's own kinetics are a start away from
// those that made the measurements.
struct Patient {
    Scenario scenario;
    Measurements measurements;
};

Patient patient() {
    Patient p;
    Scenario& s = p.scenario;
    s.radiopharmaceutical = kinetics(0.55, 45, 0.3, 700);
    s.administeredActivity = 740;
    s.administrationClock = 11 * 60;
    s.initialVolume = 80;
    s.fillRate.dayRate = 1.3;  // and 0.5 ml/min at night, 00:00 to 06:00
    s.voiding.kind = VoidingKind::Diary;
    for (double at = 40; s.voiding.voids.size() < 20; at += 75 + std::fmod(at, 110))
        s.voiding.voids.push_back({at});
    std::mt19937_64 generator(1);
    for (const ScenarioVoid& v : computeScenario(s, rule()).voids) {
        const double u = (static_cast<double>(generator() >> 11) + 0.5) * 0x1.0p-53;
        const double activity = 740 * v.voided * (1 + 0.05 * standardNormalQuantile(u));
        p.measurements.voids.push_back({v.time, v.volume - v.residual, activity});
    }
    s.radiopharmaceutical = kinetics(0.4, 30, 0.4, 1000);
    return p;
}

void run(benchmark::State& state, int components, std::uint64_t samples) {
    const Patient p = patient();
    const QuadratureRule r = rule();
    FitOptions options;
    options.components = components;
    options.samples = samples;
    const FitResult check = fitScenario(p.scenario, p.measurements, r, options);
    if (!check.converged || check.components != 2) throw std::logic_error("fit " + check.message);
    for (auto _ : state)
        benchmark::DoNotOptimize(fitScenario(p.scenario, p.measurements, r, options).dose);
}

void twoComponentsTwentyVoids(benchmark::State& state) {
    run(state, 2, 0);
}

void autoWithInterval(benchmark::State& state) {
    run(state, 0, 2000);
}

}  // namespace

BENCHMARK(twoComponentsTwentyVoids)->Unit(benchmark::kMillisecond);
BENCHMARK(autoWithInterval)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
