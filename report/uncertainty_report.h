// An uncertainty analysis as text, as the "uncertainty" object of the JSON output, and its
// samples as CSV.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/sampling.h"

namespace orvane {

// "lognormal, median 9.5, gsd 3, max 150"; numbers to 6 significant digits.
std::string describeDistribution(const Distribution& d);

// The report: samples used and rejected, nominal dose, mean, sd, percentiles, and one line
// per input (distribution, Spearman's rho, tornado doses) in the tornado's order. Doses in
// mGy/MBq to 4 significant digits.
std::string uncertaintyText(const std::vector<UncertainInput>& inputs,
                            const UncertaintyOptions& options, const UncertaintyResult& result);

// {"mean", "sd", "percentiles": {"2.5", ...}, "samples_used", "samples_rejected",
//  "samples_clamped", "rank_correlation": {path: rho}, "tornado": [{"path", "low", "high"}]}; a
//  value that does
// not exist (rho of a constant input, a refused tornado end) is null.
nlohmann::json uncertaintyJson(const std::vector<UncertainInput>& inputs,
                               const UncertaintyResult& result);

// One line per sample: its index, each input's value, the dose (empty when rejected) and
// "used" or "rejected"; every number to 17 significant digits.
std::string uncertaintySamplesCsv(const std::vector<UncertainInput>& inputs,
                                  const UncertaintyResult& result);

}  // namespace orvane
