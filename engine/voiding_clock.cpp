#include "engine/voiding_clock.h"

namespace orvane {
namespace {

constexpr double kMidnight = kMinutesPerDay;  // as min after the previous midnight

}  // namespace

VoidingClock::VoidingClock(const FillRateSchedule& schedule, double v0, double t0)
    : schedule_(schedule), v0_(v0), t0_(t0) {}

IntervalBounds VoidingClock::next() {
    IntervalBounds b{};
    if (index_++ == 0) {
        b = {0.0, t0_, v0_, schedule_.dayRate};
        clock_ = kAdministrationClock + t0_;
    } else {
        b.start = end_;
        b.startVolume = kResidualVolume;
        if (clock_ > kMidnight) {
            // The previous void fell after midnight: shorten this interval to end at it.
            b.end = b.start + kDayInterval - (clock_ - kMidnight);
            clock_ = kMidnight;
            b.rate = schedule_.dayRate;
        } else if (clock_ < kMidnight) {
            b.end = b.start + kDayInterval;
            clock_ = clock_ + kDayInterval;
            b.rate = schedule_.dayRate;
        } else {
            b.end = b.start + kNightInterval;
            clock_ = kMorningClock;
            b.rate = schedule_.nightRate;
            b.night = true;
        }
    }
    end_ = b.end;
    return b;
}

}  // namespace orvane
