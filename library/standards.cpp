#include "library/standards.h"

#include <cmath>
#include <cstring>
#include <system_error>

#include "engine/numtext.h"
#include "library/file_text.h"

namespace orvane {

const std::array<const char*, kStandardCount> kStandardNames{"F-18 FDG",
                                                             "Tc-99m DTPA",
                                                             "Tc-99m pertechnetate",
                                                             "Tc-99m HEDP",
                                                             "Tc-99m MDP",
                                                             "Tc-99m HMPAO",
                                                             "Tc-99m glucoheptonate",
                                                             "Tc-99m MAG3",
                                                             "Tc-99m HSA",
                                                             "Tc-99m RBCs",
                                                             "Tc-99m MIBI-rest",
                                                             "Tc-99m MIBI-stress",
                                                             "I-123 NaI",
                                                             "I-131 NaI",
                                                             "I-123 OIH",
                                                             "I-124 OIH",
                                                             "I-131 OIH",
                                                             "I-125 iothalamate",
                                                             "In-111 DTPA",
                                                             "Sr-89 Cl"};

namespace {

std::string joinMessage(const std::string& file, const std::string& position,
                        const std::string& reason) {
    return position.empty() ? file + ": " + reason : file + ": " + position + ": " + reason;
}

// The layout of the data file: eight sections, one after another.
constexpr int kPerStandardValues = 2 * kComponentCount;  // fractions, then rate constants
constexpr int kSection1Count = kStandardCount * kPerStandardValues;
constexpr std::array<int, 8> kSectionCounts{kSection1Count, kStandardCount, kStandardCount,
                                            kStandardCount, kV0Count,       kT0Count,
                                            kNodeCount,     kNodeCount};
static_assert(kSectionCounts[0] + kSectionCounts[1] + kSectionCounts[2] + kSectionCounts[3] +
                  kSectionCounts[4] + kSectionCounts[5] + kSectionCounts[6] + kSectionCounts[7] ==
              kDataFileNumberCount);

constexpr int kDecayConstantSection = 2;

// The shipped file has a few kilobytes; anything this large is not a data file.
constexpr std::size_t kMaxDataFileBytes = 16 * 1024 * 1024;

struct NumberPlace {
    int section;  // 1..8
    int offset;   // 0-based within the section
};

NumberPlace placeOf(int index) {
    int section = 1;
    for (int count : kSectionCounts) {
        if (index < count) return {section, index};
        index -= count;
        ++section;
    }
    return {section, index};  // not reached for index < kDataFileNumberCount
}

std::string standardLabel(int standard) {
    return "standard " + std::to_string(standard) + " \"" + kStandardNames[standard] + "\"";
}

// What number `index` (0-based) of the file is, e.g.
// "number 161 (section 2, physical decay constant of standard 0 "F-18 FDG")".
std::string describeNumber(int index) {
    const NumberPlace place = placeOf(index);
    const int k = place.offset;
    std::string what;
    switch (place.section) {
        case 1: {
            const int standard = k / kPerStandardValues;
            const int slot = k % kPerStandardValues;
            const int component = slot % kComponentCount + 1;
            what = (slot < kComponentCount ? "fraction" : "biological rate constant") +
                   std::string(" of component ") + std::to_string(component) + " of " +
                   standardLabel(standard);
            break;
        }
        case 2:
            what = "physical decay constant of " + standardLabel(k);
            break;
        case 3:
            what = "Delta of " + standardLabel(k);
            break;
        case 4:
            what = "Gamma of " + standardLabel(k);
            break;
        case 5:
            what = "initial bladder volume V0 " + std::to_string(k + 1);
            break;
        case 6:
            what = "first-void time T0 " + std::to_string(k + 1);
            break;
        case 7:
            what = "quadrature node " + std::to_string(k + 1);
            break;
        default:
            what = "quadrature weight " + std::to_string(k + 1);
            break;
    }
    return "number " + std::to_string(index + 1) + " (section " + std::to_string(place.section) +
           ", " + what + ")";
}

// A number of the file with its text as written and its line.
struct ReadNumber {
    double value = 0.0;
    std::string_view text;
    int line = 0;
};

[[noreturn]] void refuseNumber(const std::string& fileName, int index, int line,
                               const std::string& reason) {
    throw DataFileError(fileName, describeNumber(index) + ", line " + std::to_string(line), reason);
}

// Reads the numbers of the file one field at a time, keeping track of the line.
class FieldReader {
public:
    FieldReader(std::string_view text, const std::string& fileName)
        : text_(text), fileName_(fileName) {
        constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        if (text_.starts_with(kByteOrderMark)) text_.remove_prefix(kByteOrderMark.size());
    }

    // Number `index` (0-based); the numbers must be asked for in order.
    ReadNumber next(int index) {
        std::string_view field;
        while (!takeField(field)) {
            if (!startNextLine()) {
                throw DataFileError(fileName_, describeNumber(index),
                                    "the file ends after number " + std::to_string(index) +
                                        "; expected " + std::to_string(kDataFileNumberCount) +
                                        " numbers");
            }
        }
        const std::string_view trimmed = trimBlanks(field);
        if (trimmed.empty()) {
            fail(index, "empty field: two separators with no number between them");
        }
        const LeadingNumber number = readLeadingNumber(trimmed);
        if (!number.found() || number.length != trimmed.size()) {
            fail(index, quoteText(trimmed) + " is not a number");
        }
        if (!std::isfinite(number.value)) {
            fail(index, quoteText(trimmed) + " is too large for a number");
        }
        return {number.value, trimmed, line_};
    }

    [[noreturn]] void fail(int index, const std::string& reason) const {
        refuseNumber(fileName_, index, line_, reason);
    }

private:
    // Moves to the next line; false at the end of the text.
    bool startNextLine() {
        if (nextLine_ >= text_.size()) return false;
        line_ = nextLineNumber_++;
        const std::size_t newline = text_.find('\n', nextLine_);
        const std::size_t end = newline == std::string_view::npos ? text_.size() : newline;
        std::string_view content = text_.substr(nextLine_, end - nextLine_);
        nextLine_ = newline == std::string_view::npos ? text_.size() : newline + 1;
        if (content.ends_with('\r')) content.remove_suffix(1);
        // Trimmed once here, so that every unread rest ends in a non-blank and a line of
        // blanks holds no field: reading stays linear however long the line.
        rest_ = trimBlanks(content);
        hasRest_ = !rest_.empty();
        return true;
    }

    // The next field of the current line; false when the line has none left. A comma at the
    // end of a line only ends the field before it.
    bool takeField(std::string_view& field) {
        if (!hasRest_) return false;
        const std::size_t comma = rest_.find(',');
        if (comma == std::string_view::npos) {
            field = rest_;
            hasRest_ = false;
        } else {
            field = rest_.substr(0, comma);
            rest_ = rest_.substr(comma + 1);
            hasRest_ = !rest_.empty();
        }
        return true;
    }

    std::string_view text_;
    const std::string& fileName_;
    std::string_view rest_;  // the unread part of the current line
    bool hasRest_ = false;
    std::size_t nextLine_ = 0;  // where the next line starts
    int nextLineNumber_ = 1;
    int line_ = 0;  // the current line, 1-based
};

// True for a rate constant of section 1 (the second four numbers of each standard).
bool isRateConstant(int index) {
    const NumberPlace place = placeOf(index);
    return place.section == 1 && place.offset % kPerStandardValues >= kComponentCount;
}

int sectionStart(int section) {
    int start = 0;
    for (int s = 1; s < section; ++s) start += kSectionCounts[s - 1];
    return start;
}

constexpr int kV0Section = 5;
constexpr int kT0Section = 6;
constexpr int kNodeSection = 7;
constexpr int kWeightSection = 8;
// The weights, each used at +x and -x, sum to 2 on [-1, 1]; a cut or mistyped digit moves
// the doubled sum by far more than this.
constexpr double kWeightSumTolerance = 1e-12;

// Refuses grids other than the labelled ones, and a quadrature table that is not a rule on
// [-1, 1]: nodes outside (0, 1) or repeated, weights not positive or not summing to 2.
void checkGridsAndQuadrature(const std::array<ReadNumber, kDataFileNumberCount>& numbers,
                             const std::string& fileName) {
    auto refuse = [&](int index, const std::string& reason) {
        refuseNumber(fileName, index, numbers[index].line, reason);
    };
    // A number's text is digits, sign, point and exponent: shown as written unless very long.
    auto shown = [&](int index) {
        const std::string_view text = numbers[index].text;
        return text.size() <= 40 ? std::string(text) : quoteText(text);
    };
    for (int v = 0; v < kV0Count; ++v) {
        const int i = sectionStart(kV0Section) + v;
        if (numbers[i].value != kLabelledV0Grid[v]) {
            refuse(i, shown(i) +
                          " ml, but the results window and the results file label this "
                          "row " +
                          formatWhole(kLabelledV0Grid[v]) + " ml");
        }
    }
    for (int t = 0; t < kT0Count; ++t) {
        const int i = sectionStart(kT0Section) + t;
        if (numbers[i].value != kLabelledT0Grid[t]) {
            refuse(i, shown(i) +
                          " min, but the results window and the results file label "
                          "this column " +
                          formatWhole(kLabelledT0Grid[t]) + " min");
        }
    }
    const int firstNode = sectionStart(kNodeSection);
    for (int k = 0; k < kNodeCount; ++k) {
        const int i = firstNode + k;
        const double x = numbers[i].value;
        if (!(x > 0 && x < 1)) {
            refuse(i, shown(i) +
                          " lies outside (0, 1); expected a node of the rule on [-1, 1] "
                          "other than 0 and +-1");
        }
        for (int j = 0; j < k; ++j) {
            if (numbers[firstNode + j].value == x) {
                refuse(i, shown(i) + " repeats node " + std::to_string(j + 1) +
                              "; expected distinct nodes");
            }
        }
    }
    const int firstWeight = sectionStart(kWeightSection);
    double sum = 0.0;
    for (int k = 0; k < kNodeCount; ++k) {
        const int i = firstWeight + k;
        if (!(numbers[i].value > 0)) {
            refuse(i, shown(i) + " is not positive; expected a positive weight");
        }
        sum += numbers[i].value;
    }
    if (!(std::fabs(2 * sum - 2) <= kWeightSumTolerance)) {
        refuse(firstWeight + kNodeCount - 1,
               "the weights, each used at +x and -x, sum to " + formatRoundTrip(2 * sum) +
                   "; expected 2 within 1e-12 (a digit cut off or mistyped?)");
    }
}

}  // namespace

DataFileError::DataFileError(const std::string& file, const std::string& position,
                             const std::string& reason)
    : std::runtime_error(joinMessage(file, position, reason)),
      file_(file),
      position_(position),
      reason_(reason) {}

StandardData parseStandardData(std::string_view text, const std::string& fileName) {
    FieldReader reader(text, fileName);
    std::array<ReadNumber, kDataFileNumberCount> read{};
    std::array<double, kDataFileNumberCount> numbers{};
    for (int i = 0; i < kDataFileNumberCount; ++i) {
        read[i] = reader.next(i);
        numbers[i] = read[i].value;
        if (placeOf(i).section == kDecayConstantSection) {
            if (numbers[i] == 0.0) {
                reader.fail(i,
                            "the physical decay constant is 0, so the physical half-life "
                            "0.693 / 0 is undefined");
            }
            if (!std::isfinite(kDecayNumerator / numbers[i])) {
                reader.fail(i,
                            "the physical decay constant is so close to 0 that the "
                            "physical half-life 0.693 / k is too large for a number");
            }
        }
        if (isRateConstant(i) && numbers[i] != 0.0 &&
            !std::isfinite(kDecayNumerator / numbers[i])) {
            reader.fail(i,
                        "the rate constant is so close to 0 that the biological half-life "
                        "0.693 / k is too large for a number; write 0 for a component "
                        "that takes no part");
        }
    }

    checkGridsAndQuadrature(read, fileName);

    StandardData data;
    const double* value = numbers.data();
    for (int s = 0; s < kStandardCount; ++s) {
        StandardPharmaceutical& standard = data.library[s];
        standard.name = kStandardNames[s];
        for (int j = 0; j < kComponentCount; ++j) standard.fraction[j] = *value++;
        for (int j = 0; j < kComponentCount; ++j) {
            const double k = *value++;
            standard.rateConstant[j] = k;
            standard.biologicalHalfLife[j] = k != 0.0 ? kDecayNumerator / k : 0.0;
        }
    }
    for (auto& standard : data.library) standard.physicalHalfLife = kDecayNumerator / *value++;
    for (auto& standard : data.library) standard.delta = *value++;
    for (auto& standard : data.library) standard.gamma = *value++;
    for (double& v : data.tables.v0Grid) v = *value++;
    for (double& t : data.tables.t0Grid) t = *value++;
    for (double& x : data.tables.quadratureNodes) x = *value++;
    for (double& w : data.tables.quadratureWeights) w = *value++;
    return data;
}

StandardData LoadStandardData(const std::filesystem::path& file) {
    return parseStandardData(
        readDataFileText(file, kMaxDataFileBytes, "252 numbers of a data file"), file.string());
}

StandardFieldTexts standardFieldTexts(const StandardPharmaceutical& standard) {
    auto shownUnlessZero = [](double value) {
        return value == 0.0 ? std::string() : formatScientific(value);
    };
    StandardFieldTexts texts;
    for (int j = 0; j < kComponentCount; ++j) {
        texts.fields[fractionField(j)] = shownUnlessZero(standard.fraction[j]);
        texts.fields[rateConstantField(j)] = shownUnlessZero(standard.rateConstant[j]);
        texts.fields[halfLifeField(j)] = shownUnlessZero(standard.biologicalHalfLife[j]);
    }
    texts.fields[kPhysicalHalfLifeField] = formatScientific(standard.physicalHalfLife);
    texts.fields[kDeltaField] = formatScientific(standard.delta);
    texts.fields[kGammaField] = formatScientific(standard.gamma);
    texts.name = standard.name;
    return texts;
}

StandardDocumentation standardDocumentation(int standard) {
    static constexpr const char* kThyroid =
        "Assumes a euthyroid thyroid uptake of 35 %. With no uptake (after thyroidectomy) the "
        "bladder dose is about 1.5 times higher.";
    static constexpr const char* kBorrowed =
        "The fraction 0.34 is borrowed from pertechnetate; only the half-time is sourced.";
    static constexpr std::array<StandardDocumentation, kStandardCount> kDocumentation{{
        {"M", "I106", "", 0.13, "ICRP Publication 106 (ICRP model)"},
        {"M-H", "I53", ""},
        {"M-L", "USL-Tc", ""},
        {"M", "CTI89", ""},
        {"M", "CTI89", ""},
        {"M-L", "SPC-HM",
         "The biological half-life of 180 min is an assumption; over 60-600 min the dose "
         "changes by about 40 % either way."},
        {"L", "McA81 + A75",
         "The 10-20 % tubular retention behind the slow component is an assumption, not a "
         "sourced value."},
        {"M", "SPC-MAG3", "", 0.11, "ICRP Publication 128 (ICRP model), quoted in the SmPC"},
        {"L", "Atk80 + USL-Tc", kBorrowed},
        {"L", "Atk80 + USL-Tc", kBorrowed},
        {"M-L", "SPC-MIBI + Wac89", ""},
        {"L", "Wac89",
         "Half-time 647 min from the exercise data (600 min, the rest value, before a "
         "review). The fraction 0.30 is unsourced."},
        {"M", "I53-I", kThyroid},
        {"M", "I53-I", kThyroid},
        {"M-L", "SPC-OIH", ""},
        {"M-L", "SPC-OIH", ""},
        {"M-L", "SPC-OIH", ""},
        {"M", "I53", "The DTPA model: iothalamate has no model of its own."},
        {"M", "I53",
         "Models intravenous DTPA; the product is labelled for intrathecal use only, where "
         "absorption from the CSF (median half-time about 32 h) limits delivery to the "
         "bladder."},
        {"L-M", "Met + Bl86",
         "Fraction 0.33 for patients with bone metastases, who retain about half the activity "
         "(0.53, from normal subjects, before a review); patients range from about 0.08 to "
         "0.6."},
    }};
    return standard >= 0 && standard < kStandardCount ? kDocumentation[standard]
                                                      : StandardDocumentation{"", "", ""};
}

}  // namespace orvane
