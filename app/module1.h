// The program-wide state that the three windows share. main creates one Module1 and hands it
// to the windows by reference; every test makes its own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "engine/model.h"
#include "library/standards.h"

namespace orvane {

struct Module1 {
    explicit Module1(std::filesystem::path dataFile) : dataFilePath(std::move(dataFile)) {}

    // Reads the data file anew. Throws DataFileError and then keeps the previous data.
    void loadStandardData() { standardData = LoadStandardData(dataFilePath); }

    std::filesystem::path dataFilePath;
    StandardData standardData;
    // The last calculation, with the parameters (and name) and grids it was computed from.
    // The time estimate never writes here.
    std::optional<DoseResults> doseResults;
    // Full path of the results file, composed by the save window.
    std::string ResultsFilePath;
};

}  // namespace orvane
