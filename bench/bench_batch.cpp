// A cohort through the batch runner: 100 000 two-day diary scenarios (F-18 FDG with hydration
// steps, 16 voids, each patient's volume and voids shifted) as JSON Lines, read, computed and
// written as result lines, with 1 and 2 threads (target: 3 s or less with 2 threads; on an
// idle machine 2 threads at least 1.8 times faster than one). Process CPU time is reported
// too, since the machine is shared.
//
//   bench_batch --benchmark_repetitions=3
// The memory of a million lines is measured on orvane-cli (bench/README.md).
#include <benchmark/benchmark.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "library/batch.h"
#include "library/standards.h"

using namespace orvane;

namespace {

const Workbench& workbench() {
    static const Workbench d(LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat"),
                             {ORVANE_SOURCE_DIR "/data/radiopharmaceuticals.json", std::nullopt});
    return d;
}

// Patient i's diary: a void every 150 to 200 min, then every 3 hours to the end of day two (a
// diary without "then" ends at its last void).
std::string cohort(int patients) {
    std::string text;
    for (int i = 0; i < patients; ++i) {
        std::string voids;
        double at = 30 + i % 60;
        for (int v = 0; v < 16; ++v, at += 150 + (i * 7 + v * 13) % 50)
            voids += (v ? "," : "") + std::to_string(static_cast<int>(at));
        text += "{\"id\":\"p" + std::to_string(i) +
                "\",\"radiopharmaceutical\":{\"standard\":\"F-18 FDG\"},\"initial_volume\":" +
                std::to_string(40 + i % 80) +
                ",\"fill_rate\":{\"steps\":[{\"from\":0,\"rate\":2},{\"from\":120,\"rate\":1},"
                "{\"from\":510,\"rate\":0.4},{\"from\":990,\"rate\":1}]},"
                "\"voiding\":{\"voids\":[" +
                voids + "],\"then\":{\"interval\":180}},\"end_time\":2880}\n";
    }
    return text;
}

void batchCohort(benchmark::State& state) {
    static const std::string input = cohort(100'000);
    const BatchCompute compute = scenarioBatchCompute(workbench(), nullptr);
    BatchOptions options;
    options.threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        std::istringstream in(input);
        JsonLinesSource source(in, "cohort");
        std::size_t bytes = 0;
        const BatchSummary summary = runBatch(
            source, compute, [&](BatchOutput&& o) { bytes += o.text.size(); }, options);
        if (summary.computed != 100'000) throw std::logic_error("a record failed");
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * 100'000);
}

}  // namespace

BENCHMARK(batchCohort)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK_MAIN();
