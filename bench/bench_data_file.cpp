// Reading the data file: the shipped file, and the same numbers on one line followed by
// blanks up to the 16 MB the program accepts, which a reader that trims the rest of the
// line again for every field takes seconds over.
//
//   bench_data_file --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "library/standards.h"

using namespace orvane;

namespace {

std::string shippedText() {
    std::ifstream in(ORVANE_SOURCE_DIR "/data/orvane.dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void parse(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        StandardData data = parseStandardData(text, "bench.dat");
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void ShippedFile(benchmark::State& state) {
    parse(state, shippedText());
}

void OneLineWithTrailingBlanks(benchmark::State& state) {
    std::string text = shippedText();
    std::replace(text.begin(), text.end(), '\n', ',');
    text.pop_back();  // the last line end
    text.resize(16 * 1024 * 1024 - 1, ' ');
    text += '\n';
    parse(state, text);
}

}  // namespace

BENCHMARK(ShippedFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(OneLineWithTrailingBlanks)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
