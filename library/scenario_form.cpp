#include "library/scenario_form.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "library/json_reader.h"
#include "library/scenario_file.h"
#include "library/scenario_schema.h"

namespace orvane {
namespace {

using nlohmann::json;
using namespace schema;

// A value as its field shows it: a text as it is, a number in its shortest exact form.
std::string textOf(const json* value) {
    if (!value || value->is_null()) return {};
    if (value->is_string()) return value->get<std::string>();
    // A whole number read or written as a double ("5.0") is shown as typed ("5").
    std::string text = value->dump();
    if (value->is_number_float() && text.size() > 2 && text.ends_with(".0"))
        text.resize(text.size() - 2);
    return text;
}

const json* keyIn(const json* object, const char* key) {
    return object ? findKey(*object, key) : nullptr;
}

std::optional<std::string> textIn(const json* object, const char* key) {
    const json* value = keyIn(object, key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::vector<std::array<std::string, 2>> rowsOf(const json* list, const char* first,
                                               const char* second, bool bare) {
    std::vector<std::array<std::string, 2>> rows;
    if (!list || !list->is_array()) return rows;
    for (const json& entry : *list) {
        // A diary's void may be the bare time.
        const json* at = bare && !entry.is_object() ? &entry : findKey(entry, first);
        rows.push_back({textOf(at), textOf(findKey(entry, second))});
    }
    return rows;
}

// Writes the text at key unless it is empty; a clock time always as text.
void put(json& object, const char* key, const std::string& text, bool clock = false) {
    const std::string_view trimmed = trimBlanks(text);
    if (trimmed.empty()) return;
    object[key] = clock ? json(std::string(trimmed)) : fieldValue(text).json();
}

json listOf(const std::vector<std::array<std::string, 2>>& rows, const char* first,
            const char* second) {
    json list = json::array();
    for (const auto& row : rows) {
        json entry = json::object();
        put(entry, first, row[0]);
        put(entry, second, row[1]);
        list.push_back(entry);
    }
    return list;
}

}  // namespace

JsonValue fieldValue(const std::string& text) {
    const std::string_view trimmed = trimBlanks(text);
    const LeadingNumber number = readLeadingNumber(trimmed);
    if (number.found() && number.length == trimmed.size() && std::isfinite(number.value))
        return JsonValue(number.value);
    return JsonValue(std::string(trimmed));
}

ScenarioForm scenarioForm(const ScenarioDocument& document) {
    const json* top = &document.json();
    ScenarioForm form;
    form.name = textOf(keyIn(top, kName));
    form.administrationTime = textOf(keyIn(top, kAdministrationTime));
    form.initialVolume = textOf(keyIn(top, kInitialVolume));
    form.residualVolume = textOf(keyIn(top, kResidualVolume));
    form.administeredActivity = textOf(keyIn(top, kAdministeredActivity));
    form.endTime = textOf(keyIn(top, kEndTime));
    const json* patient = keyIn(top, kPatient);
    form.age = textOf(keyIn(patient, kAge));
    form.sex = textOf(keyIn(patient, kSex));

    ScenarioForm::Choice& choice = form.radiopharmaceutical;
    const json* chosen = keyIn(top, kRadiopharmaceutical);
    if (chosen && chosen->is_object()) choice.own = JsonValue(*chosen);
    if (const json* standard = keyIn(chosen, kStandard); standard && standard->is_number_integer())
        choice.standardIndex = standard->get<long long>();
    choice.standardName = textIn(chosen, kStandard);
    choice.library = textIn(chosen, kLibrary);
    choice.libraryKey = keyIn(chosen, kLibrary) != nullptr;
    choice.shownName = textIn(chosen, kName).value_or(choice.library.value_or(""));

    const json* fill = keyIn(top, kFillRate);
    const json* steps = keyIn(fill, kSteps);
    form.steps = steps != nullptr;
    form.fromVoids = fill && fill->is_string() && *fill == kFromVoids;
    form.day = textOf(keyIn(fill, kDay));
    form.night = textOf(keyIn(fill, kNight));
    form.nightFrom = textOf(keyIn(fill, kNightFrom));
    form.nightTo = textOf(keyIn(fill, kNightTo));
    form.stepRows = rowsOf(steps, kFrom, kRate, false);

    const json* voiding = keyIn(top, kVoiding);
    // Without "voiding" (a reference patient's file) the patient's regular voiding.
    const std::string pattern = textIn(voiding, kPattern).value_or(voiding ? kDiary : kRegular);
    form.pattern = pattern == kTable             ? ScenarioForm::Pattern::Table
                   : pattern == kRegular         ? ScenarioForm::Pattern::Regular
                   : pattern == kCapacityPattern ? ScenarioForm::Pattern::Capacity
                                                 : ScenarioForm::Pattern::Diary;
    form.firstVoid = textOf(keyIn(voiding, kFirstVoid));
    form.intervals = textOf(keyIn(voiding, kIntervals));
    const json* then = keyIn(voiding, kThen);
    form.then = then != nullptr;
    const json* regular = then ? then : voiding;
    form.interval = textOf(keyIn(regular, kInterval));
    form.bedtime = textOf(keyIn(regular, kBedtime));
    form.wake = textOf(keyIn(regular, kWake));
    form.capacity = textOf(keyIn(regular, kCapacity));
    if (const json* flag = keyIn(regular, kNightVoids); flag && flag->is_boolean())
        form.nightVoids = flag->get<bool>();
    form.diaryRows = rowsOf(keyIn(voiding, kVoids), kAt, kResidual, true);
    return form;
}

ScenarioDocument scenarioDocument(const ScenarioForm& form) {
    json document = json::object();
    put(document, kName, form.name, true);
    const ScenarioForm::Choice& choice = form.radiopharmaceutical;
    switch (choice.kind) {
        case ScenarioForm::ChoiceKind::Standard:
            document[kRadiopharmaceutical] = {{kStandard, choice.text}};
            break;
        case ScenarioForm::ChoiceKind::Library:
            document[kRadiopharmaceutical] = {{kLibrary, choice.text}};
            break;
        case ScenarioForm::ChoiceKind::Own:
            document[kRadiopharmaceutical] = choice.own.json();
            break;
    }
    put(document, kAdministrationTime, form.administrationTime, true);
    put(document, kInitialVolume, form.initialVolume);
    put(document, kResidualVolume, form.residualVolume);
    put(document, kAdministeredActivity, form.administeredActivity);
    put(document, kEndTime, form.endTime);
    if (!trimBlanks(form.age).empty() || !trimBlanks(form.sex).empty()) {
        json patient = json::object();
        put(patient, kAge, form.age);
        put(patient, kSex, form.sex, true);
        document[kPatient] = patient;
    }

    json fill = json::object();
    if (form.fromVoids) {
        fill = kFromVoids;
    } else if (form.steps) {
        fill[kSteps] = listOf(form.stepRows, kFrom, kRate);
    } else {
        put(fill, kDay, form.day);
        put(fill, kNight, form.night);
        put(fill, kNightFrom, form.nightFrom, true);
        put(fill, kNightTo, form.nightTo, true);
    }
    document[kFillRate] = fill;

    json voiding = json::object();
    auto regular = [&form](json& into) {
        put(into, kInterval, form.interval);
        put(into, kBedtime, form.bedtime, true);
        put(into, kWake, form.wake, true);
        if (form.nightVoids) into[kNightVoids] = *form.nightVoids;
        put(into, kCapacity, form.capacity);
    };
    if (form.pattern == ScenarioForm::Pattern::Diary) {
        voiding[kVoids] = listOf(form.diaryRows, kAt, kResidual);
        if (form.then) {
            json then = json::object();
            regular(then);
            voiding[kThen] = then;
        }
    } else if (form.pattern == ScenarioForm::Pattern::Capacity) {
        voiding[kPattern] = kCapacityPattern;
        put(voiding, kCapacity, form.capacity);
    } else {
        voiding[kPattern] = form.pattern == ScenarioForm::Pattern::Table ? kTable : kRegular;
        put(voiding, kFirstVoid, form.firstVoid);
        if (form.pattern == ScenarioForm::Pattern::Table) put(voiding, kIntervals, form.intervals);
        if (form.pattern == ScenarioForm::Pattern::Regular) regular(voiding);
    }
    document[kVoiding] = voiding;
    return ScenarioDocument(document);
}

ScenarioForm withoutPatientValues(ScenarioForm form) {
    for (std::string* text : {&form.initialVolume, &form.residualVolume, &form.day, &form.night,
                              &form.nightFrom, &form.nightTo, &form.firstVoid, &form.interval,
                              &form.bedtime, &form.wake, &form.capacity}) {
        text->clear();
    }
    form.nightVoids.reset();
    return form;
}

ScenarioDocument newScenarioDocument(const std::optional<ModelParameters>& values) {
    json document = {
        {kName, "New scenario"},
        {kRadiopharmaceutical, {{kStandard, "Tc-99m MAG3"}}},
        {kAdministrationTime, "09:00"},
        {kInitialVolume, 50},
        {kResidualVolume, 10},
        {kFillRate, {{kDay, 1.0}, {kNight, 0.5}, {kNightFrom, "23:00"}, {kNightTo, "07:00"}}},
        {kVoiding,
         {{kPattern, kRegular},
          {kFirstVoid, 60},
          {kInterval, 180},
          {kBedtime, "23:00"},
          {kWake, "07:00"}}}};
    if (values) {
        Scenario scenario;
        scenario.radiopharmaceutical = *values;
        document[kRadiopharmaceutical] = scenarioToJson(scenario)[kRadiopharmaceutical];
    }
    return ScenarioDocument(document);
}

}  // namespace orvane
