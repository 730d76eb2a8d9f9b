#include "report/csv.h"

#include "engine/numtext.h"
#include "engine/plain_text.h"

namespace orvane {

std::string csvField(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return std::string(text);
    std::string field = "\"";
    for (const char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + "\"";
}

std::string doseTablesCsv(const DoseResults& results, std::optional<int> schedule) {
    std::string text =
        "schedule,V0_ml,T0_min,dose_mGy_per_MBq,day_rate_ml_per_min,night_rate_ml_per_min,name\n";
    const std::string name = csvField(replaceControlCharacters(results.parameters.name));
    for (int s = 1; s <= kScheduleCount; ++s) {
        if (schedule && *schedule != s) continue;
        const FillRateSchedule& rates = kFillRateSchedules[static_cast<std::size_t>(s - 1)];
        const std::string context = "," + formatShortest(rates.dayRate) + "," +
                                    formatShortest(rates.nightRate) + "," + name + "\n";
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                text += std::to_string(s) + "," + formatPlain(results.grids.v0Grid[v]).substr(1) +
                        "," + formatPlain(results.grids.t0Grid[t]).substr(1) + "," +
                        formatRoundTrip(results.tables[static_cast<std::size_t>(s - 1)].at(t, v)) +
                        context;
            }
        }
    }
    return text;
}

}  // namespace orvane
