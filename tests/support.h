// What the plain tests share: reading a file whole, the shipped data file and its values
// (read at first use, never during static initialisation), and the switch that rewrites the
// committed expected files instead of comparing with them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "library/standards.h"
#include "library/workbench.h"

namespace orvane::test {

// The whole file, bytes as they are; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// data/orvane.dat of the source tree.
inline std::filesystem::path shippedDataFile() {
    return std::filesystem::path(ORVANE_SOURCE_DIR) / "data" / "orvane.dat";
}

// The shipped data file's values, loaded once at first use.
inline const StandardData& shippedData() {
    static const StandardData data = LoadStandardData(shippedDataFile());
    return data;
}
// The shipped data and library of the source tree, without a user's library.
inline const Workbench& shippedWorkbench() {
    static const Workbench workbench(shippedData(), {std::filesystem::path(ORVANE_SOURCE_DIR) /
                                                         "data" / "radiopharmaceuticals.json",
                                                     std::nullopt});
    return workbench;
}
inline const ModelTables& shippedTables() {
    return shippedData().tables;
}

// ORVANE_REGENERATE_GOLDEN=1: rewrite the committed expected files from the current code
// instead of comparing (review the difference before committing it).
inline bool regeneratingExpectedFiles() {
    const char* value = std::getenv("ORVANE_REGENERATE_GOLDEN");
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace orvane::test
