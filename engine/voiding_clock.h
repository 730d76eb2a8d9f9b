// The dose tables' voiding clock: when the bladder is voided, and at which fill rate it fills
// in between. The one place that knows the day and night rule.
#pragma once

#include "engine/model.h"

namespace orvane {

// Residual volume left in the bladder after every void of the tables, ml.
inline constexpr double kResidualVolume = 10.0;

inline constexpr double kAdministrationClock = 540.0;  // 09:00, min after midnight
inline constexpr double kMidnight = 1440.0;            // min after the previous midnight
inline constexpr double kDayInterval = 180.0;          // min between day voids
inline constexpr double kNightInterval = 360.0;        // min, the night's one interval
inline constexpr double kMorningClock = 360.0;         // 06:00, end of the night interval

// One filling interval: [start, end] min after administration, from startVolume (ml) at a
// constant rate (ml/min); night is true for the night interval.
struct IntervalBounds {
    double start;
    double end;
    double startVolume;
    double rate;
    bool night = false;
};

// Walks the voiding clock: interval 1 is [0, T0] from V0 at the day rate. After a void the
// clock (min after midnight) decides: before midnight the next void is 180 min later; after
// midnight the interval is shortened to end at midnight; exactly at midnight comes the 360-min
// night at the night rate, ending at 06:00. Every later interval starts at 10 ml. Call next()
// once per interval, in order; the arithmetic is exactly the tables'.
class VoidingClock {
public:
    VoidingClock(const FillRateSchedule& schedule, double v0, double t0);
    IntervalBounds next();

private:
    FillRateSchedule schedule_;
    double v0_;
    double t0_;
    double clock_ = 0.0;  // min after a midnight
    double end_ = 0.0;    // end of the previous interval
    int index_ = 0;
};

}  // namespace orvane
