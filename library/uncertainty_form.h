// A scenario file's "uncertainty" section as the scenario window's Uncertainty tab shows it:
// the number of samples, the seed, and one row of texts per varied key (or the population
// preset), read from a document and written back as a section, so that the tab never reads
// JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scenario.h"
#include "library/json_value.h"
#include "library/scenario_document.h"
#include "library/uncertainty_file.h"

namespace orvane {

struct UncertaintyForm {
    std::uint64_t samples = kDefaultSamples;  // 1..kMaxSamples
    std::string seed = "1";
    bool population = false;  // "vary": "population"
    // A varied key: its path, the distribution's kind ("lognormal"), its parameters
    // ("median=50, gsd=2" or "120, 240") and the optional min and max.
    struct Row {
        std::string path, kind, parameters, min, max;
    };
    std::vector<Row> rows;
};

// The form of the document's section; the defaults (no rows) without one.
UncertaintyForm uncertaintyForm(const ScenarioDocument& document);

// The section the form gives, for the scenario file: a row with neither path nor parameters is
// left out; null when nothing is varied. Texts that are not numbers stay texts, so that the
// reader refuses them with their key path.
JsonValue uncertaintySection(const UncertaintyForm& form);

// readUncertaintySection of such a section for the scenario of document.
UncertaintyPlan readUncertaintySection(const JsonValue& section, const ScenarioDocument& document,
                                       const Scenario& scenario);

}  // namespace orvane
