// One scenario's dose: 1000 intervals of regular voiding on the real clock (target 1 ms or
// less), the same number of irregular diary voids (every interval different), and a 2-day
// diary with hydration steps (target 50 us or less); and the Lu-177 PSMA example read from its
// JSON document, as the Python module's calls do; and the 2-day diary with tiny residuals.
//
//   bench_scenario --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "engine/calculation.h"
#include "engine/scenario.h"
#include "library/scenario_file.h"
#include "library/standards.h"

using namespace orvane;

namespace {

const StandardData& data() {
    static const StandardData d = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
    return d;
}

QuadratureRule rule() {
    return {data().tables.quadratureNodes, data().tables.quadratureWeights};
}

// Tc-99m DTPA as the input window shows it: two components, both kinds of emission.
Scenario base() {
    Scenario s;
    const StandardFieldTexts texts = standardFieldTexts(data().library[1]);
    s.radiopharmaceutical = readModelParameters(texts.fields, texts.name);
    s.initialVolume = 60;
    return s;
}

void run(benchmark::State& state, const Scenario& s, std::size_t voids) {
    const QuadratureRule r = rule();
    const std::size_t count = computeScenario(s, r).voids.size();
    if (count != voids) throw std::logic_error("void count " + std::to_string(count));
    ScenarioWorkspace workspace;
    for (auto _ : state) benchmark::DoNotOptimize(scenarioDose(s, r, workspace));
}

void regularThousand(benchmark::State& state) {
    Scenario s = base();
    s.voiding.firstVoid = 45;
    s.voiding.regular = {120, 23 * 60, 7 * 60};
    s.endTime = 110 * 1440;  // nine voids a day
    while (computeScenario(s, rule()).voids.size() < 1000) *s.endTime += 60;
    run(state, s, 1000);
}

void diaryThousand(benchmark::State& state) {
    Scenario s = base();
    s.voiding.kind = VoidingKind::Diary;
    double t = 0;
    for (int j = 0; j < 1000; ++j) s.voiding.voids.push_back({t += 60 + (j * 37) % 200});
    run(state, s, 1000);
}

void twoDayDiary(benchmark::State& state) {
    Scenario s = base();
    s.administrationClock = 14 * 60 + 30;
    s.fillRate.steps = {{0, 2.0}, {120, 1.0}, {510, 0.4}, {990, 1.0}, {1950, 0.4}, {2430, 1.0}};
    s.voiding.kind = VoidingKind::Diary;
    for (double at : {45., 150., 260., 420., 510., 990., 1130., 1290., 1420., 1600., 1760., 1950.,
                      2430., 2560., 2700., 2880.}) {
        s.voiding.voids.push_back({at});
    }
    s.voiding.voids[2].residual = 60;
    run(state, s, 16);
}

// The two-day diary with a residual of 10 ml, 1e-15 ml and 1e-300 ml (Arg 0, 1, 2): a tiny
// residual costs a few times the work of 10 ml, not a piece per fourfold volume from it up.
void twoDayDiaryResidual(benchmark::State& state) {
    Scenario s = base();
    s.fillRate.steps = {{0, 2.0}, {150, 1.0}, {420, 0.05}, {900, 1.5}};
    s.voiding.kind = VoidingKind::Diary;
    for (double at : {60., 200., 420., 900., 1000., 1320.}) s.voiding.voids.push_back({at});
    s.residualVolume = std::array{10.0, 1e-15, 1e-300}[static_cast<std::size_t>(state.range(0))];
    run(state, s, 6);
}

// What orvane.scenario(dict, time_course=None) does per call, without Python: the example's
// document read into a scenario, then computed (bench/bench_python.py compares the two).
void psmaExampleFromDocument(benchmark::State& state) {
    std::ifstream file(ORVANE_SOURCE_DIR "/examples/two-hour-voiding-lu177-psma.json");
    std::stringstream text;
    text << file.rdbuf();
    const nlohmann::json document = parseScenarioJson(text.str());
    const QuadratureRule r = rule();
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeScenario(scenarioFromJson(document, data()), r).dose);
    }
}

}  // namespace

BENCHMARK(psmaExampleFromDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(regularThousand)->Unit(benchmark::kMicrosecond);
BENCHMARK(diaryThousand)->Unit(benchmark::kMicrosecond);
BENCHMARK(twoDayDiary)->Unit(benchmark::kMicrosecond);
BENCHMARK(twoDayDiaryResidual)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
