// What the fuzz targets share: a failed property aborts, which the fuzzer reports as a crash;
// the input bytes as text; the shipped data file and its quadrature rule, read once at first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/scenario.h"
#include "library/standards.h"

#define REQUIRE(condition) ((condition) ? void() : std::abort())

namespace orvane::fuzz {

inline std::string_view inputText(const std::uint8_t* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

inline const StandardData& shippedData() {
    static const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
    return data;
}

inline const QuadratureRule& shippedRule() {
    static const QuadratureRule rule{shippedData().tables.quadratureNodes,
                                     shippedData().tables.quadratureWeights};
    return rule;
}

}  // namespace orvane::fuzz
