// Opening the workbench with a user's library of many entries: reading the file, checking
// that no name or alias is taken twice, and admitting each entry. Every front end does this
// on every start, so it must stay linear in the number of entries.
//
//   bench_user_library --benchmark_filter=UserLibrary
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "library/standards.h"
#include "library/workbench.h"

using namespace orvane;

namespace {

StandardData shippedData() {
    std::ifstream in(ORVANE_SOURCE_DIR "/data/orvane.dat", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseStandardData(text, "orvane.dat");
}

// A user's library of `count` entries, each with a name and an alias of its own.
std::filesystem::path userLibrary(long count) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("orvane-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".json");
    std::vector<LibraryEntry> entries(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        LibraryEntry& entry = entries[static_cast<std::size_t>(i)];
        entry.values.name = "Lu-177 agent " + std::to_string(i);
        entry.nuclide = "Lu-177";
        entry.aliases = {"agent alias " + std::to_string(i)};
        entry.values.fraction[0] = 1.0;
        entry.values.rateConstant[0] = 0.01;
        entry.values.biologicalHalfLife[0] = 0.693 / 0.01;
        entry.values.physicalHalfLife = 9576.0;
        entry.values.delta = 0.0237;
        entry.values.gamma = 0.00467;
    }
    if (!writeUserLibrary(file, entries).ok)
        throw std::runtime_error("cannot write " + file.string());
    return file;
}

void UserLibrary(benchmark::State& state) {
    const StandardData data = shippedData();
    const std::filesystem::path user = userLibrary(state.range(0));
    for (auto _ : state) {
        Workbench bench(data, {ORVANE_SOURCE_DIR "/data/radiopharmaceuticals.json", user});
        if (bench.user().size() != static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("entries were set aside");
        }
        benchmark::DoNotOptimize(bench);
    }
    state.SetComplexityN(state.range(0));
    std::filesystem::remove(user);
}

}  // namespace

BENCHMARK(UserLibrary)
    ->RangeMultiplier(4)
    ->Range(1250, 20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
