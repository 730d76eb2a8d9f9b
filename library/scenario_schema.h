// The key names of a scenario file, once: the reader, the writer (scenarioToJson), the
// uncertainty section's key paths and the scenario window's editor all use these.
//
// {"name", "radiopharmaceutical": {"standard" | "library" | own values: "components":
//  [{"fraction", "rate_constant", "half_life"}], "physical_half_life", "delta", "gamma"; "name"},
//  "administration_time", "initial_volume", "residual_volume", "administered_activity",
//  "fill_rate": {"day", "night", "night_from", "night_to"} or {"steps": [{"from", "rate"}]},
//  "voiding": {"pattern": "table" | "regular" | "diary", "first_void", "intervals",
//  "interval", "bedtime", "wake", "night_voids", "capacity", "voids": [min or {"at",
//  "residual"}], "then": {...}} or {"pattern": "capacity", "capacity"},
//  "patient": {"age", "sex"}, "end_time", "uncertainty": {"samples", "seed", "vary"}}
#pragma once

namespace orvane::schema {

// Top level.
inline constexpr char kName[] = "name";
inline constexpr char kRadiopharmaceutical[] = "radiopharmaceutical";
inline constexpr char kAdministrationTime[] = "administration_time";
inline constexpr char kInitialVolume[] = "initial_volume";
inline constexpr char kResidualVolume[] = "residual_volume";
inline constexpr char kAdministeredActivity[] = "administered_activity";
inline constexpr char kFillRate[] = "fill_rate";
inline constexpr char kVoiding[] = "voiding";
inline constexpr char kEndTime[] = "end_time";
inline constexpr char kUncertainty[] = "uncertainty";

// "radiopharmaceutical": a standard, a library entry, or its own values (and "name").
inline constexpr char kStandard[] = "standard";
inline constexpr char kLibrary[] = "library";
inline constexpr char kComponents[] = "components";
inline constexpr char kFraction[] = "fraction";
inline constexpr char kRateConstant[] = "rate_constant";
inline constexpr char kHalfLife[] = "half_life";
inline constexpr char kPhysicalHalfLife[] = "physical_half_life";
inline constexpr char kDelta[] = "delta";
inline constexpr char kGamma[] = "gamma";

// "fill_rate".
inline constexpr char kDay[] = "day";
inline constexpr char kNight[] = "night";
inline constexpr char kNightFrom[] = "night_from";
inline constexpr char kNightTo[] = "night_to";
inline constexpr char kSteps[] = "steps";
inline constexpr char kFrom[] = "from";
inline constexpr char kRate[] = "rate";

// "voiding" and its patterns.
inline constexpr char kPattern[] = "pattern";
inline constexpr char kTable[] = "table";
inline constexpr char kRegular[] = "regular";
inline constexpr char kDiary[] = "diary";
inline constexpr char kCapacityPattern[] = "capacity";  // voids only when full
inline constexpr char kCapacity[] = "capacity";         // ml
inline constexpr char kFirstVoid[] = "first_void";
inline constexpr char kIntervals[] = "intervals";
inline constexpr char kInterval[] = "interval";
inline constexpr char kBedtime[] = "bedtime";
inline constexpr char kWake[] = "wake";
inline constexpr char kVoids[] = "voids";
inline constexpr char kAt[] = "at";
inline constexpr char kResidual[] = "residual";
inline constexpr char kThen[] = "then";
inline constexpr char kNightVoids[] = "night_voids";  // regular: voids by night as by day

// "patient": {"age", "sex"}: a reference patient whose values fill every default.
inline constexpr char kPatient[] = "patient";
inline constexpr char kAge[] = "age";
inline constexpr char kSex[] = "sex";

// "uncertainty": {"samples", "seed", "vary": "population" or {key path: distribution}}.
inline constexpr char kSamples[] = "samples";
inline constexpr char kSeed[] = "seed";
inline constexpr char kVary[] = "vary";
inline constexpr char kPopulation[] = "population";
inline constexpr char kNormal[] = "normal";
inline constexpr char kLognormal[] = "lognormal";
inline constexpr char kUniform[] = "uniform";
inline constexpr char kTriangular[] = "triangular";
inline constexpr char kMean[] = "mean";
inline constexpr char kSd[] = "sd";
inline constexpr char kMedian[] = "median";
inline constexpr char kGsd[] = "gsd";
inline constexpr char kMin[] = "min";
inline constexpr char kMax[] = "max";
inline constexpr char kLow[] = "low";
inline constexpr char kHigh[] = "high";
inline constexpr char kMode[] = "mode";

}  // namespace orvane::schema

// "measurements": {"voids": [{"at", "volume", "activity", "measured_at", "sd"}],
//  "cumulative_urine" | "bladder" | "whole_body": [{"at", "fraction" | "activity", "sd"}],
//  "relative_sd"}; "fit": {"components": 1..3 | "auto", "interval", "samples", "seed"};
//  "fill_rate": "from_voids" with measured voids.
namespace orvane::schema {
inline constexpr char kMeasurements[] = "measurements";
inline constexpr char kFit[] = "fit";
inline constexpr char kCumulativeUrine[] = "cumulative_urine";
inline constexpr char kBladder[] = "bladder";
inline constexpr char kWholeBody[] = "whole_body";
inline constexpr char kVolume[] = "volume";
inline constexpr char kActivity[] = "activity";
inline constexpr char kMeasuredAt[] = "measured_at";
inline constexpr char kRelativeSd[] = "relative_sd";
inline constexpr char kAuto[] = "auto";
inline constexpr char kFromVoids[] = "from_voids";
}  // namespace orvane::schema
