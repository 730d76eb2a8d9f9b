// A patient scenario: one radiopharmaceutical, a real clock, a fill-rate pattern and a voiding
// pattern on one time axis (min after administration), and what the bladder wall receives.
// Units: time min, clock min after midnight, volume ml, fill rate ml/min, activity as a
// fraction of the administered activity (MBq where stated), dose mGy/MBq.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/input_source.h"
#include "engine/model.h"

namespace orvane {

inline constexpr int kMaxScenarioVoids = 100'000;
inline constexpr double kDefaultTimeCourseStep = 5.0;  // min
inline constexpr double kMinimumEndTime = 900.0;       // min, the default end's floor

// The quadrature rule of the data file (the 16-point Gauss-Legendre rule).
struct QuadratureRule {
    QuadratureNodes nodes{};
    QuadratureWeights weights{};

    bool operator==(const QuadratureRule&) const = default;
};

// Piecewise constant fill rate. With no steps: dayRate, and nightRate inside the night window
// [nightFrom, nightTo) on the clock (it may wrap past midnight). With steps: each step's rate
// from its `from` (min after administration) on; the first step starts at 0.
struct FillStep {
    double from = 0.0;  // min after administration
    double rate = 0.0;  // ml/min
    bool operator==(const FillStep&) const = default;
};
struct FillRatePattern {
    double dayRate = 1.0;            // ml/min
    double nightRate = 0.5;          // ml/min
    double nightFrom = 0.0;          // clock min, 00:00
    double nightTo = kMorningClock;  // clock min, 06:00
    std::vector<FillStep> steps;     // replace the day/night rates when not empty
    bool operator==(const FillRatePattern&) const = default;
};

// Regular voiding on the real clock: every `interval` min while awake; a void that would come
// after bedtime is taken at bedtime, and the one after a void at or after bedtime at wake-up.
struct RegularVoiding {
    double interval = kDayInterval;  // min
    double bedtime = 0.0;            // clock min
    double wake = kMorningClock;     // clock min
    // Voids every `interval` by night too (an infant): bedtime and wake then stop nothing.
    bool nightVoids = false;
    bool operator==(const RegularVoiding&) const = default;
};

// One void of a diary; residual, when given, replaces the scenario's residual volume.
struct DiaryVoid {
    double at = 0.0;                   // min after administration
    std::optional<double> residual{};  // ml
    bool operator==(const DiaryVoid&) const = default;
};

enum class VoidingKind {
    Table,    // the dose tables' voiding clock from firstVoid, tableIntervals intervals
    Regular,  // first void at firstVoid, then `regular` on the real clock
    Diary,    // the listed voids, then `regular` counted from the last one when `then` is set
    // Only when the bladder holds `capacity`: a worst case, as people void well before.
    Capacity,
};

struct VoidingPattern {
    VoidingKind kind = VoidingKind::Regular;
    double firstVoid = kDayInterval;    // min after administration (Table, Regular)
    std::optional<int> tableIntervals;  // Table: N; default as the tables compute it
    RegularVoiding regular;             // Regular, and Diary when `then` is set
    std::vector<DiaryVoid> voids;       // Diary
    bool then = false;                  // Diary: continue regularly after the last void
    // ml. Capacity: the volume that triggers each void. Regular, and a diary's `then`: the
    // patient also voids on reaching it, by day or by night; the regular clock counts on from
    // that void.
    std::optional<double> capacity;
    bool operator==(const VoidingPattern&) const = default;
};

struct Scenario {
    std::string name;
    ModelParameters radiopharmaceutical;  // as the calculation reads it (scaled Delta, Gamma)
    double administrationClock = kAdministrationClock;  // clock min, 09:00
    double initialVolume = 0.0;                         // ml, V0
    double residualVolume = 10.0;                       // ml, left by every void without its own
    std::optional<double> administeredActivity;         // MBq; turns fractions into MBq
    FillRatePattern fillRate;
    VoidingPattern voiding;
    std::optional<double> endTime;  // min; ends at the first void at or after it
    ScenarioOrigin origin;          // the reference patient, if the file named one
    bool operator==(const Scenario&) const = default;
};

// A scenario for which the computation is undefined. path() is the scenario file's key path
// of the value to blame ("voiding.voids[2].residual"), reason() what was expected.
class ScenarioError : public std::runtime_error {
public:
    ScenarioError(std::string path, std::string reason);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_, reason_;
};

// Refuses values for which the computation is undefined (ScenarioError with the key path).
// Checks what can be checked without simulating; computeScenario checks the rest (a residual
// above the volume at its void, too many voids, a dose that is not finite).
void checkScenario(const Scenario& scenario);

// The end time used when the scenario gives none: the larger of ten effective half-lives
// (with the longest biological half-life, as the tables) and 900 min.
double defaultEndTime(const ModelParameters& parameters);

// One filling interval between voids (the first from administration), and its dose.
struct ScenarioInterval {
    double start = 0.0;        // min
    double end = 0.0;          // min, the void that closes it
    double startVolume = 0.0;  // ml
    double dose = 0.0;         // mGy/MBq
};

// One void: the bladder just before it, and what it removes.
struct ScenarioVoid {
    double time = 0.0;      // min after administration
    double clock = 0.0;     // clock min, 0 <= clock < 1440
    double volume = 0.0;    // ml just before the void
    double residual = 0.0;  // ml left after it
    double activity = 0.0;  // in the bladder just before it, fraction (not clamped)
    double voided = 0.0;    // activity that leaves, activity (1 - residual / volume)
    double excreted = 0.0;  // voided by this and every earlier void, each as it left
};

// The bladder at one time.
struct TimePoint {
    double time = 0.0;            // min after administration
    double volume = 0.0;          // ml
    double activity = 0.0;        // fraction, as computed (just before a void at a void)
    double doseRate = 0.0;        // mGy/MBq per min, from the activity counted as >= 0
    double cumulativeDose = 0.0;  // mGy/MBq since administration
};

struct ScenarioResult {
    double dose = 0.0;  // mGy/MBq
    // At the scenario's end (its last void), the fraction of the administered activity still
    // in the bladder or yet to reach it, decay included: the bladder's content plus the sum
    // over components of f_c e^{-(lp + k_c) t_end}. The dose leaves out what it would give.
    double activityLeft = 0.0;
    std::vector<ScenarioInterval> intervals;
    std::vector<ScenarioVoid> voids;
    std::vector<TimePoint> timeCourse;  // empty unless asked for
};

// The dose, interval by interval and void by void; with timeCourseStep (min, > 0) also the
// time course at every multiple of the step and at every void. Checks the scenario first.
ScenarioResult computeScenario(const Scenario& scenario, const QuadratureRule& rule,
                               std::optional<double> timeCourseStep = std::nullopt);

// Scratch space reused between calls of scenarioDose, so that repeated evaluation of varied
// scenarios allocates nothing once it has grown. It keeps the integration weights of the
// segments computed, while the radiopharmaceutical and the rule stay the same, so a run whose
// segments an earlier run had (a cohort's diaries) builds only those it has not seen.
class ScenarioWorkspace {
public:
    ScenarioWorkspace();
    ~ScenarioWorkspace();
    ScenarioWorkspace(ScenarioWorkspace&&) noexcept;
    ScenarioWorkspace& operator=(ScenarioWorkspace&&) noexcept;
    struct Data;
    Data& data() { return *data_; }

private:
    std::unique_ptr<Data> data_;
};

// What a void does whose residual is above the volume in the bladder: Refuse (ScenarioError),
// or, in sampled runs only, LeaveAll: nothing is voided.
enum class ResidualAboveVolume { Refuse, LeaveAll };

// computeScenario in a workspace kept from earlier runs.
ScenarioResult computeScenario(const Scenario& scenario, const QuadratureRule& rule,
                               ScenarioWorkspace& workspace,
                               std::optional<double> timeCourseStep = std::nullopt);

// The dose only, mGy/MBq, exactly as computeScenario gives it; checks the scenario likewise.
double scenarioDose(const Scenario& scenario, const QuadratureRule& rule,
                    ScenarioWorkspace& workspace,
                    ResidualAboveVolume above = ResidualAboveVolume::Refuse);

}  // namespace orvane
