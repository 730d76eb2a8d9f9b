// The twenty standard radiopharmaceuticals and the data file of their values.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/calculation.h"
#include "engine/model.h"

namespace orvane {

inline constexpr int kStandardCount = 20;
inline constexpr int kDataFileNumberCount = 252;

// List texts, in list order; an entry's position is its index everywhere.
extern const std::array<const char*, kStandardCount> kStandardNames;

struct StandardPharmaceutical {
    std::string name;
    std::array<double, kComponentCount> fraction{};            // -
    std::array<double, kComponentCount> rateConstant{};        // min^-1
    std::array<double, kComponentCount> biologicalHalfLife{};  // min, 0.693 / k, or 0 if k = 0
    double physicalHalfLife = 0.0;  // min, 0.693 / decay constant of the file
    double delta = 0.0;             // mGy-kg/MBq-s, as in the file
    double gamma = 0.0;             // mGy-cm^2/MBq-s, as in the file

    bool operator==(const StandardPharmaceutical&) const = default;
};

using StandardLibrary = std::array<StandardPharmaceutical, kStandardCount>;

// Everything the data file supplies.
struct StandardData {
    StandardLibrary library;
    ModelTables tables;
};

// A data file that cannot be used. what() names the file, the position and the reason.
class DataFileError : public std::runtime_error {
public:
    DataFileError(const std::string& file, const std::string& position, const std::string& reason);
    const std::string& file() const { return file_; }
    const std::string& position() const { return position_; }  // e.g. "number 161 (...)"
    const std::string& reason() const { return reason_; }

private:
    std::string file_, position_, reason_;
};

// Parses the 252 numbers (separated by commas or line ends, blanks ignored) from text.
// fileName is only used in messages. Throws DataFileError; never returns partial data.
StandardData parseStandardData(std::string_view text, const std::string& fileName);

// Reads and parses the data file. Throws DataFileError.
StandardData LoadStandardData(const std::filesystem::path& file);

// What selecting a standard puts into the input fields: Text1..Text15 ("scientific";
// component fields empty when 0) and the name for Text16.
struct StandardFieldTexts {
    FieldTexts fields;
    std::string name;
};
StandardFieldTexts standardFieldTexts(const StandardPharmaceutical& standard);

// Where a standard's row comes from and how sure it is, as data/README.md documents it.
struct StandardDocumentation {
    const char* confidence;    // "H", "M", "L" or a range such as "M-L"
    const char* sources;       // source keys of data/README.md, e.g. "Atk80 + USL-Tc"
    const char* note;          // the assumptions or borrowed values behind the row, what a review
                               // changed; empty when there is nothing to add
    double publishedDose = 0;  // adult bladder wall, mGy/MBq, where re-read; else 0
    const char* publishedSource = "";  // where that was published
};
// Index 0..19.
StandardDocumentation standardDocumentation(int standard);

}  // namespace orvane
