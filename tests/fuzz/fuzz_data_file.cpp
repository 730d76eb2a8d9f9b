// Any bytes as the data file of standard values: either a DataFileError that names the
// position, or a library whose every value is finite and shows as a field text that reads
// back.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "library/standards.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkLoaded(const orvane::StandardData& data) {
    for (const orvane::StandardPharmaceutical& standard : data.library) {
        for (int c = 0; c < orvane::kComponentCount; ++c) {
            require(std::isfinite(standard.fraction[c]));
            require(std::isfinite(standard.rateConstant[c]));
            require(std::isfinite(standard.biologicalHalfLife[c]));
        }
        require(std::isfinite(standard.physicalHalfLife) && standard.physicalHalfLife != 0);
        require(std::isfinite(standard.delta) && std::isfinite(standard.gamma));

        // Choosing the standard fills every field with a text that reads as one number.
        const orvane::StandardFieldTexts texts = orvane::standardFieldTexts(standard);
        for (const std::string& field : texts.fields) {
            if (field.empty()) continue;
            const orvane::LeadingNumber number = orvane::readLeadingNumber(field);
            require(number.length == field.size() && std::isfinite(number.value));
        }
    }
    for (double v : data.tables.v0Grid) require(std::isfinite(v));
    for (double t : data.tables.t0Grid) require(std::isfinite(t));
    for (double x : data.tables.quadratureNodes) require(std::isfinite(x));
    for (double w : data.tables.quadratureWeights) require(std::isfinite(w));

    // The grids are either usable or refused before any computation.
    try {
        orvane::checkGrids(data.tables);
    } catch (const orvane::CalculationError& error) {
        require(std::string_view(error.what()).starts_with("Data file: "));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        checkLoaded(orvane::parseStandardData(text, "fuzz.dat"));
    } catch (const orvane::DataFileError& error) {
        require(error.file() == "fuzz.dat");
        require(error.position().starts_with("number "));
        require(!error.reason().empty());
    }
    return 0;
}
