// Any bytes as the data file of standard values: either a DataFileError that names the
// position, or a library whose every value is finite and shows as a field text that reads
// back.
#include <algorithm>
#include <array>
#include <cmath>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "fuzz_support.h"

using namespace orvane;

namespace {

// Every value of every range given is finite.
void requireFinite(const auto&... ranges) {
    (std::ranges::for_each(ranges, [](double value) { REQUIRE(std::isfinite(value)); }), ...);
}

void checkLoaded(const StandardData& data) {
    for (const StandardPharmaceutical& s : data.library) {
        requireFinite(s.fraction, s.rateConstant, s.biologicalHalfLife,
                      std::array{s.physicalHalfLife, s.delta, s.gamma});
        REQUIRE(s.physicalHalfLife != 0);
        // Choosing the standard fills every field with a text that reads as one number.
        for (const std::string& field : standardFieldTexts(s).fields) {
            const LeadingNumber number = readLeadingNumber(field);
            REQUIRE(field.empty() ||
                    (number.length == field.size() && std::isfinite(number.value)));
        }
    }
    const ModelTables& t = data.tables;
    requireFinite(t.v0Grid, t.t0Grid, t.quadratureNodes, t.quadratureWeights);
    try {  // the grids are either usable or refused before any computation
        checkGrids(t);
    } catch (const CalculationError& error) {
        REQUIRE(std::string_view(error.what()).starts_with("Data file: "));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        checkLoaded(parseStandardData(fuzz::inputText(data, size), "fuzz.dat"));
    } catch (const DataFileError& error) {
        REQUIRE(error.file() == "fuzz.dat" && error.position().starts_with("number ") &&
                !error.reason().empty());
    }
    return 0;
}
