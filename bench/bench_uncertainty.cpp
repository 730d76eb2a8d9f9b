// The uncertainty analysis of whole scenarios: 10 000 samples of a two-day diary on one
// thread, 100 000 on one and on two (checked to give the same bytes), and 10 000 samples of
// a 1000-interval scenario.
//
//   bench_uncertainty --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "engine/scenario.h"
#include "engine/scenario_uncertainty.h"
#include "library/standards.h"
#include "library/uncertainty_file.h"

using namespace orvane;

namespace {

const QuadratureRule& rule() {
    static const QuadratureRule r = [] {
        const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
        return QuadratureRule{data.tables.quadratureNodes, data.tables.quadratureWeights};
    }();
    return r;
}

ModelParameters twoComponents() {
    ModelParameters p;
    p.fraction = {0.7, 0.3, 0, 0};
    p.rateConstant = {0.693 / 40, 0.693 / 600, 0, 0};
    p.biologicalHalfLife = {40, 600, 0, 0};
    p.physicalHalfLife = 360.6;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(5.56e-5);
    return p;
}

// Two days of a diary: voids through the first day, then every 3 hours with a night's sleep.
Scenario diary() {
    Scenario s;
    s.radiopharmaceutical = twoComponents();
    s.administrationClock = 14 * 60 + 30;
    s.initialVolume = 60;
    s.voiding.kind = VoidingKind::Diary;
    s.voiding.voids = {{45, {}}, {150, 60.0}, {300, {}}, {480, {}}};
    s.voiding.then = true;
    s.voiding.regular = {180, 23 * 60, 7 * 60};
    s.endTime = 2880;
    return s;
}

// A diary of 1000 voids, one every 90 min.
Scenario thousandIntervals() {
    Scenario s;
    s.radiopharmaceutical = twoComponents();
    s.initialVolume = 60;
    s.voiding.kind = VoidingKind::Diary;
    for (int v = 1; v <= 1000; ++v) s.voiding.voids.push_back({90.0 * v, {}});
    return s;
}

// The population preset and the kinetics: five inputs.
UncertaintyPlan plan(const Scenario& s, std::uint64_t samples) {
    const nlohmann::json section = {
        {"samples", samples},
        {"vary",
         {{"residual_volume", {{"lognormal", {{"gsd", kPopulationResidualGsd}, {"max", 150}}}}},
          {"fill_rate", {{"lognormal", {{"gsd", kPopulationFillRateGsd}}}}},
          {"radiopharmaceutical.components[0].half_life", {{"lognormal", {{"gsd", 1.3}}}}},
          {"radiopharmaceutical.components[0].fraction",
           {{"normal", {{"sd", 0.05}, {"min", 0}, {"max", 1}}}}},
          {"initial_volume", {{"triangular", {20, 60, 300}}}}}}};
    return readUncertaintySection(section, nlohmann::json::object(), s);
}

void run(benchmark::State& state, const Scenario& s) {
    const auto samples = static_cast<std::uint64_t>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    UncertaintyPlan p = plan(s, samples);
    p.options.threads = threads;
    for (auto _ : state) {
        UncertaintyResult r = runScenarioUncertainty(s, rule(), p.keys, p.inputs, p.options);
        benchmark::DoNotOptimize(r);
        state.counters["rejected"] = static_cast<double>(r.rejected);
    }
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["threads"] = threads;
}

void Diary(benchmark::State& state) {
    run(state, diary());
}
void ThousandIntervals(benchmark::State& state) {
    run(state, thousandIntervals());
}

// Before timing anything: 100 000 samples give the same bytes on one thread and on two.
void SameBytes(benchmark::State& state) {
    const Scenario s = diary();
    UncertaintyPlan p = plan(s, 100'000);
    const UncertaintyResult one = runScenarioUncertainty(s, rule(), p.keys, p.inputs, p.options);
    p.options.threads = 2;
    const UncertaintyResult two = runScenarioUncertainty(s, rule(), p.keys, p.inputs, p.options);
    const bool same =
        one.doses.size() == two.doses.size() &&
        std::memcmp(one.doses.data(), two.doses.data(), one.doses.size() * sizeof(double)) == 0 &&
        std::memcmp(&one.mean, &two.mean, sizeof(double)) == 0 &&
        std::memcmp(one.percentiles.data(), two.percentiles.data(), sizeof one.percentiles) == 0;
    if (!same) state.SkipWithError("one and two threads differ");
    for (auto _ : state) benchmark::DoNotOptimize(same);
    state.counters["identical"] = same;
}

}  // namespace

BENCHMARK(SameBytes)->Iterations(1);
BENCHMARK(Diary)
    ->Args({10'000, 1})
    ->Args({100'000, 1})
    ->Args({100'000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ThousandIntervals)
    ->Args({10'000, 1})
    ->Args({10'000, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
