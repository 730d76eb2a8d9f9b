// A scenario file as the scenario window's editor shows it: every key's value as the text of
// its field, read from a document and written back into one, so that the window never reads
// JSON. A field's text is the value as written in the file (a number in its shortest exact
// form); an empty text leaves the key out; a text that is not a number is written as text, so
// that the reader refuses it with the key's path. The "uncertainty" section has its own form.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/scenario.h"
#include "library/json_value.h"
#include "library/scenario_document.h"

namespace orvane {

struct ScenarioForm {
    std::string name, administrationTime, initialVolume, residualVolume, administeredActivity,
        endTime;
    // "patient": {"age", "sex"}, written when either is given (both empty: no reference patient).
    std::string age, sex;

    // "radiopharmaceutical": written as {"standard": text}, {"library": text}, or `own`.
    enum class ChoiceKind { Standard, Library, Own };
    struct Choice {
        ChoiceKind kind = ChoiceKind::Own;
        std::string text;
        JsonValue own;  // the object as read (null without one), written back unchanged
        // As read from the file:
        std::optional<long long> standardIndex;   // "standard": a whole number
        std::optional<std::string> standardName;  // "standard": a text
        std::optional<std::string> library;       // "library": a text
        bool libraryKey = false;                  // "library" given, as whatever
        std::string shownName;                    // "name", else "library" (texts), else ""
    } radiopharmaceutical;

    // "fill_rate": day and night, steps of (from, rate), or "from_voids" (derived from the
    // measured voids' volumes).
    bool steps = false;
    bool fromVoids = false;
    std::string day, night, nightFrom, nightTo;
    std::vector<std::array<std::string, 2>> stepRows;

    // "voiding": the tables' schedule, regular, a diary of (at, residual) then regular, or
    // only when the bladder is full.
    enum class Pattern { Table, Regular, Diary, Capacity };
    Pattern pattern = Pattern::Diary;
    std::string firstVoid;
    std::string intervals;  // the tables' schedule's
    std::vector<std::array<std::string, 2>> diaryRows;
    bool then = false;
    std::string interval, bedtime, wake;  // the regular voiding's, or the diary's "then"
    std::optional<bool> nightVoids;       // the regular voiding's, or the diary's "then"
    std::string capacity;  // the regular voiding's, the diary's "then" or the capacity pattern's
};

// The form of a document (as scenarioToJson writes it, or a file's); the uncertainty section
// is left to uncertaintyForm.
ScenarioForm scenarioForm(const ScenarioDocument& document);
// The document the form makes.
ScenarioDocument scenarioDocument(const ScenarioForm& form);

// The form with every field that a reference patient fills (withPatientDefaults) left empty,
// so that the patient's values hold there: volumes, day and night rates, the regular voiding
// and the capacity. Fill-rate steps, a diary's voids and the pattern are kept.
ScenarioForm withoutPatientValues(ScenarioForm form);

// The scenario a new window starts from: Tc-99m MAG3, regular voiding every 3 hours by day;
// with values, the radiopharmaceutical given by them instead.
ScenarioDocument newScenarioDocument(const std::optional<ModelParameters>& values = {});

// A field's value: a number when the whole text (blanks trimmed) reads as a finite one, else
// the trimmed text. Shared with the uncertainty form.
JsonValue fieldValue(const std::string& text);

}  // namespace orvane
