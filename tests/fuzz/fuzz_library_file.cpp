// Any bytes as a library file: either a DataFileError that says where and why, or entries
// whose values are finite, that the calculation accepts, and that write and read back equal.
#include <algorithm>
#include <array>
#include <cmath>

#include "fuzz_support.h"
#include "library/radiopharmaceuticals.h"

using namespace orvane;

namespace {

void checkEntries(const std::vector<LibraryEntry>& entries) {
    for (const LibraryEntry& entry : entries) {
        const StandardPharmaceutical& s = entry.values;
        for (const auto& range : {s.fraction, s.rateConstant, s.biologicalHalfLife}) {
            REQUIRE(
                std::ranges::all_of(range, [](double x) { return std::isfinite(x) && x >= 0; }));
        }
        REQUIRE(std::isfinite(s.physicalHalfLife) && s.physicalHalfLife > 0);
        REQUIRE(findEntry(entries, entry.name()) == &entry);
    }
    REQUIRE(parseLibraryFile(libraryFileText(entries), "again") == entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        checkEntries(parseLibraryFile(fuzz::inputText(data, size), "fuzz.json"));
    } catch (const DataFileError& error) {
        REQUIRE(error.file() == "fuzz.json" && !error.reason().empty());
    }
    return 0;
}
