// Reference patients by age and sex (data/patients.json): urine output by day and by night,
// the night's clock, bladder capacity, voiding and residual volume, each value with its sources.
// Units: ml, ml/min, min; clock times in min after midnight; ages in years.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/input_source.h"

namespace orvane {

enum class Sex { Female, Male };

// "female" or "male"; anything else is refused (ScenarioError at "patient.sex").
Sex sexFromText(std::string_view text);
const char* sexText(Sex sex);

template <typename T>
struct Sourced {
    T value{};
    Provenance provenance;
    bool operator==(const Sourced&) const = default;
};

// The sleeping hours: the night fill rate holds from bedtime to wake.
struct ReferenceNight {
    double bedtime = 0.0;  // clock min
    double wake = 0.0;     // clock min
    Provenance provenance;
    double hours() const;
    bool operator==(const ReferenceNight&) const = default;
};

struct ReferencePatient {
    double age = 0.0;               // years; a listed adult stands at kAdultAge
    std::optional<Sex> sex;         // none: a child's row for both sexes, or the mean adult
    std::string label;              // "5 years", "Adult woman", "7.5 years"
    Sourced<double> fillRateDay;    // ml/min
    Sourced<double> fillRateNight;  // ml/min; the day rate when there is no night
    // None: no day/night rhythm (newborn, 1 year); the night is filled and voided as the day.
    std::optional<ReferenceNight> night;
    Sourced<double> capacity;        // ml
    Sourced<double> dayInterval;     // min between voids while awake
    Sourced<bool> nightVoids;        // voids at night as by day
    Sourced<double> residualVolume;  // ml
    Sourced<double> initialVolume;   // ml at administration
    bool operator==(const ReferencePatient&) const = default;
};

// The listed patients (children by ascending age, then the adult woman and man) and the
// sources that their values cite.
struct ReferencePatients {
    std::vector<ReferencePatient> listed;
    std::map<std::string, std::string> sources;  // key -> citation
};

// Adults' values hold from this age on; between the oldest child and it they are
// interpolated.
inline constexpr double kAdultAge = 18.0;
inline constexpr double kMaxPatientAge = 100.0;

// Parses the patients file. fileName is only used in messages. Throws DataFileError whose
// position is "line L, column C" for JSON syntax and the key path (e.g.
// "patients[2].capacity.sources[0]") for a value that is missing, of the wrong kind, out of
// range, unknown, repeated, or citing a source that the file does not list.
ReferencePatients parsePatientsFile(std::string_view text, const std::string& fileName);

// Reads and parses the patients file. Throws DataFileError.
ReferencePatients loadPatientsFile(const std::filesystem::path& file);

// The shipped file: <folder of the executable>/../share/orvane/patients.json.
std::filesystem::path patientsFilePathFor(const std::filesystem::path& executableDirectory);

// The reference patient of an age (years, 0 to 100) and sex:
// - a listed age gives that row; a child's row serves both sexes, whatever `sex` says;
// - between two listed ages every number is interpolated linearly, a night clock too (along
//   the shorter way round the clock); a yes/no value is the nearer age's, and at the midpoint
//   yes only if both are yes; the confidence is the lower of the two and the sources are both;
// - where one of the two has no night, the other's clock is taken;
// - from kAdultAge on, the adult of the sex; without a sex, the mean of the adult man and
//   woman (as the published adult dose tables are for a sex-averaged adult); between the
//   oldest child and kAdultAge, interpolated towards that adult.
// Throws ScenarioError at "patient.age" for an age outside 0-100 or not a number.
ReferencePatient referencePatient(const ReferencePatients& patients, double age,
                                  std::optional<Sex> sex);

// Every value's provenance under its key in the file ("fill_rate_day", ..., "night" for the
// clock when there is one), in the file's order.
std::vector<std::pair<std::string, const Provenance*>> provenances(const ReferencePatient& p);

}  // namespace orvane
