// The dose tables' voiding clock: when the bladder is voided, and at which fill rate it fills
// in between. The one place that knows the day and night rule.
#pragma once

#include "engine/clock.h"
#include "engine/model.h"

namespace orvane {

// Residual volume left in the bladder after every void of the tables, ml.
inline constexpr double kResidualVolume = 10.0;

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
// The clock is the tables' own: a void after midnight sets it back to midnight, so after a
// first void at a T0 that is not a multiple of 180 min it runs 180 min behind the real clock
// and the night interval falls at 03:00-09:00 real time (scenarioNights gives it).
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
