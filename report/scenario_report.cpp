#include "report/scenario_report.h"

#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "engine/scenario_events.h"
#include "report/patient_report.h"

namespace orvane {
namespace {

using nlohmann::json;

// Up to three decimals, no trailing zeros: 45 -> "45", 0.25 -> "0.25".
std::string plain(double value) {
    std::string text = formatUpTo3Decimals(value);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

std::string minutes(double value) {
    return plain(value) + " min";
}

std::string regularWords(const RegularVoiding& r) {
    if (r.nightVoids) return "every " + minutes(r.interval) + " by day and by night";
    return "every " + minutes(r.interval) + " while awake, bedtime " + clockText(r.bedtime) +
           ", wake-up " + clockText(r.wake);
}

// The "table" pattern's first night by the tables' clock, as "03:00 to 09:00".
std::string tableNightWords(const Scenario& s) {
    const std::vector<TimeSpan> nights =
        scenarioNights(s, s.voiding.firstVoid + 2 * kMinutesPerDay);
    if (nights.empty()) return "none";
    return clockText(clockAt(s.administrationClock, nights.front().from)) + " to " +
           clockText(clockAt(s.administrationClock, nights.front().to));
}

std::string fillWords(const Scenario& s) {
    const FillRatePattern& f = s.fillRate;
    if (s.voiding.kind == VoidingKind::Table) {
        return plain(f.dayRate) + " ml/min by day, " + plain(f.nightRate) +
               " ml/min in the tables' night interval (" + tableNightWords(s) + ")";
    }
    if (f.steps.empty()) {
        return plain(f.dayRate) + " ml/min by day, " + plain(f.nightRate) + " ml/min at night (" +
               clockText(f.nightFrom) + " to " + clockText(f.nightTo) + ")";
    }
    std::string text;
    for (const FillStep& step : f.steps) {
        text +=
            (text.empty() ? "" : "; ") + plain(step.rate) + " ml/min from " + minutes(step.from);
    }
    return text;
}

// ", and whenever the bladder holds C ml" for a pattern that also voids when full.
std::string capacityWords(const VoidingPattern& v) {
    return v.capacity ? ", and whenever the bladder holds " + plain(*v.capacity) + " ml" : "";
}

std::string voidingWords(const Scenario& s, const ScenarioResult& r) {
    const VoidingPattern& v = s.voiding;
    switch (v.kind) {
        case VoidingKind::Table:
            return "the dose tables' schedule: first void at T0 = " + minutes(v.firstVoid) +
                   ", then every " + minutes(kDayInterval) + " by day and one " +
                   minutes(kNightInterval) + " interval at night (" + tableNightWords(s) + "), " +
                   std::to_string(r.voids.size()) + " intervals";
        case VoidingKind::Regular:
            return "first void at " + minutes(v.firstVoid) + ", then " + regularWords(v.regular) +
                   capacityWords(v);
        case VoidingKind::Diary: {
            std::string text = "diary of " + std::to_string(v.voids.size()) + " voids";
            if (v.then) text += ", then " + regularWords(v.regular) + " from the last";
            return text + capacityWords(v);
        }
        case VoidingKind::Capacity:
            return "only when the bladder holds " + plain(v.capacity.value_or(0.0)) + " ml";
    }
    return {};
}

// Text right-aligned in a column of the given width.
std::string right(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// One line of the void table: each cell right-aligned in its column, blank-separated.
std::string tableLine(const std::vector<std::string>& cells) {
    static constexpr std::size_t kWidths[] = {5, 10, 6, 11, 10, 10, 10, 10};
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        line += (c ? " " : "") + right(cells[c], kWidths[c]);
    }
    return line + "\n";
}

}  // namespace

std::vector<std::string> scenarioInWords(const Scenario& s, const ScenarioResult& r) {
    const ModelParameters& p = s.radiopharmaceutical;
    std::vector<std::string> lines;
    lines.push_back("Radiopharmaceutical: " + (p.name.empty() ? std::string("(unnamed)") : p.name) +
                    ", physical half-life " + plain(p.physicalHalfLife) + " min");
    std::string patient = "Administered at " + clockText(s.administrationClock) + "; bladder " +
                          plain(s.initialVolume) + " ml at administration, " +
                          plain(s.residualVolume) + " ml left by each void";
    if (s.administeredActivity)
        patient += "; " + plain(*s.administeredActivity) + " MBq administered";
    lines.push_back(patient);
    lines.push_back("Fill rate: " + fillWords(s));
    lines.push_back("Voiding: " + voidingWords(s, r));
    const VoidingPattern& v = s.voiding;
    const bool voided = !r.voids.empty();
    if (voided && v.kind == VoidingKind::Diary && !v.then &&
        r.voids.back().time == v.voids.back().at) {
        lines.push_back("Ends at the diary's last void, at " + minutes(r.voids.back().time));
    } else if (voided && v.kind != VoidingKind::Table) {
        const double end = s.endTime.value_or(defaultEndTime(p));
        lines.push_back("Ends at the void at " + minutes(r.voids.back().time) + " (end time " +
                        minutes(end) + (s.endTime ? "" : ", the default") + ")");
    }
    if (s.origin.patient) {
        for (std::string& line : patientLines(*s.origin.patient)) lines.push_back(std::move(line));
    }
    return lines;
}

std::string activityLeftText(const ScenarioResult& r) {
    return "Activity left at the end: " + formatSignificant(100 * r.activityLeft, 3) +
           " % of the administered activity (in the bladder or yet to reach it; not in the "
           "dose)";
}

std::string scenarioReportText(const Scenario& s, const ScenarioResult& r,
                               const std::vector<Warning>& warnings) {
    const bool mbq = s.administeredActivity.has_value();
    std::string text;
    if (!s.name.empty()) text += "Scenario: " + s.name + "\n";
    for (const std::string& line : scenarioInWords(s, r)) text += line + "\n";
    text += "\nBladder wall dose: " + formatScientific(r.dose) + " mGy/MBq";
    if (mbq) text += " (" + formatScientific(r.dose * *s.administeredActivity) + " mGy)";
    text += "\n" + activityLeftText(r) + "\n";
    for (const Warning& w : warnings) text += "Warning: " + w.message + "\n";
    text += "\n";

    text += tableLine({"void", "time (min)", "clock", "volume (ml)", "left (ml)", "in bladder",
                       "voided", "excreted"});
    const double scale = mbq ? *s.administeredActivity : 1.0;
    for (std::size_t j = 0; j < r.voids.size(); ++j) {
        const ScenarioVoid& v = r.voids[j];
        text += tableLine({std::to_string(j + 1), formatOneDecimal(v.time), clockText(v.clock),
                           formatOneDecimal(v.volume), formatOneDecimal(v.residual),
                           formatScientific(v.activity * scale), formatScientific(v.voided * scale),
                           formatScientific(v.excreted * scale)});
    }
    text += mbq ? "Activities in MBq, as each void left the bladder.\n"
                : "Activities as fractions of the administered activity, as each void left the "
                  "bladder.\n";
    return text;
}

json warningsJson(const std::vector<Warning>& warnings) {
    json list = json::array();
    for (const Warning& w : warnings) list.push_back({{"path", w.path}, {"message", w.message}});
    return list;
}

json scenarioResultJson(const Scenario& s, const ScenarioResult& r,
                        const std::vector<Warning>* warnings) {
    const std::optional<double> mbq = s.administeredActivity;
    json document = {{"name", s.name},
                     {"radiopharmaceutical", s.radiopharmaceutical.name},
                     {"dose_mGy_per_MBq", r.dose}};
    if (mbq) {
        document["administered_MBq"] = *mbq;
        document["dose_mGy"] = r.dose * *mbq;
    }
    document["activity_left_fraction"] = r.activityLeft;
    json intervals = json::array();
    for (const ScenarioInterval& i : r.intervals) {
        intervals.push_back({{"start_min", i.start},
                             {"end_min", i.end},
                             {"start_volume_ml", i.startVolume},
                             {"dose_mGy_per_MBq", i.dose}});
    }
    document["intervals"] = intervals;
    json voids = json::array();
    for (const ScenarioVoid& v : r.voids) {
        json item = {{"time_min", v.time},
                     {"clock", clockText(v.clock)},
                     {"volume_ml", v.volume},
                     {"residual_ml", v.residual},
                     {"activity_fraction", v.activity},
                     {"voided_fraction", v.voided},
                     {"excreted_fraction", v.excreted}};
        if (mbq) {
            item["activity_MBq"] = v.activity * *mbq;
            item["voided_MBq"] = v.voided * *mbq;
            item["excreted_MBq"] = v.excreted * *mbq;
        }
        voids.push_back(item);
    }
    document["voids"] = voids;
    if (!r.timeCourse.empty()) {
        json course = json::array();
        for (const TimePoint& t : r.timeCourse) {
            json item = {{"time_min", t.time},
                         {"volume_ml", t.volume},
                         {"activity_fraction", t.activity},
                         {"dose_rate_mGy_per_MBq_min", t.doseRate},
                         {"cumulative_dose_mGy_per_MBq", t.cumulativeDose}};
            if (mbq) item["activity_MBq"] = t.activity * *mbq;
            course.push_back(item);
        }
        document["time_course"] = course;
    }
    if (s.origin.patient) document["patient"] = patientJson(*s.origin.patient);
    if (warnings) document["warnings"] = warningsJson(*warnings);
    return document;
}

std::string timeCourseCsv(const Scenario& s, const ScenarioResult& r) {
    const std::optional<double> mbq = s.administeredActivity;
    std::string text =
        "time_min,clock,volume_ml,activity_fraction,dose_rate_mGy_per_MBq_min,"
        "cumulative_dose_mGy_per_MBq";
    text += mbq ? ",activity_MBq\n" : "\n";
    for (const TimePoint& t : r.timeCourse) {
        text += formatRoundTrip(t.time) + "," + clockText(clockAt(s.administrationClock, t.time)) +
                "," + formatRoundTrip(t.volume) + "," + formatRoundTrip(t.activity) + "," +
                formatRoundTrip(t.doseRate) + "," + formatRoundTrip(t.cumulativeDose);
        if (mbq) text += "," + formatRoundTrip(t.activity * *mbq);
        text += "\n";
    }
    return text;
}

}  // namespace orvane
