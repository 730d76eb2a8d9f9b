// The clock of the model: the minute counts every engine, report and window uses, and clock
// times of day. Units: min; a clock time is min after midnight, 0 <= clock < 1440.
#pragma once

#include <cmath>
#include <string>

namespace orvane {

inline constexpr double kMinutesPerHour = 60.0;
inline constexpr double kMinutesPerDay = 1440.0;

// The dose tables' day: administration at 09:00, a void every 180 min by day, one 360-min
// interval at night that ends at 06:00 by the tables' clock.
inline constexpr double kAdministrationClock = 540.0;  // 09:00
inline constexpr double kDayInterval = 180.0;          // min between day voids
inline constexpr double kNightInterval = 360.0;        // min, the night's one interval
inline constexpr double kMorningClock = 360.0;         // 06:00

// Clock time of t min after an administration at administrationClock.
inline double clockAt(double administrationClock, double t) {
    const double clock = std::fmod(administrationClock + t, kMinutesPerDay);
    return clock < 0 ? clock + kMinutesPerDay : clock;
}

// "HH:MM" of a clock time, rounded to the minute (any number of days before or after).
inline std::string clockText(double clock) {
    long long minute = std::llround(clock);
    const auto day = static_cast<long long>(kMinutesPerDay);
    minute = ((minute % day) + day) % day;
    const auto hour = minute / 60;
    const auto rest = minute % 60;
    return {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10), ':',
            static_cast<char>('0' + rest / 10), static_cast<char>('0' + rest % 10)};
}

}  // namespace orvane
