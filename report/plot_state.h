// What the windows' plots remember between mouse events, kept apart from any widget so that
// it is tested without a window: the time window a plot shows, and the bins of a histogram.
#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// The stretch of time a plot shows, in hours: all of 0..end at first, then zoomed about a
// point by the wheel, panned by a drag, and shown whole again by a double-click.
class TimeWindow {
public:
    static constexpr double kZoomIn = 0.8;            // span factor per wheel step in
    static constexpr double kZoomOut = 1.25;          // and out
    static constexpr double kMinimumSpan = 1.0 / 60;  // h: one minute

    // All of 0..end h (at least a minute).
    void showWhole(double end);
    void showWhole() { showWhole(end_); }
    // Shows lo..hi; false (and nothing changes) unless hi > lo, both finite.
    bool show(double lo, double hi);
    // One wheel step about the time at (h), in or out; the time at stays where it is. A
    // window narrower than a minute is not taken.
    bool zoom(double at, bool in);
    // Moves the window by shift h, its span kept.
    void pan(double shift) { show(lo_ + shift, hi_ + shift); }
    // at, kept within the whole scenario.
    double withinWhole(double at) const;

    double lo() const { return lo_; }
    double hi() const { return hi_; }
    double end() const { return end_; }

private:
    double end_ = 1.0;
    double lo_ = 0.0;
    double hi_ = 1.0;
};

// Equal bins from the least value up to a top value; values above the top are counted apart.
struct Histogram {
    double low = 0.0;    // left edge of the first bin
    double top = 0.0;    // right edge of the last bin
    double width = 0.0;  // of each bin, > 0 when there are bins
    std::vector<int> counts;
    std::size_t beyond = 0;  // values above the last bin
    int tallest = 0;         // the largest count

    double edge(std::size_t bin) const { return low + static_cast<double>(bin) * width; }
};

// The histogram of the values that are numbers (NaN is skipped) in `bins` bins from the
// least to the topPercentile-th percentile (a long tail beyond it is counted in `beyond`).
// Equal values get a narrow range around them; no values give no bins.
Histogram histogramOf(const std::vector<double>& values, int bins, double topPercentile);

}  // namespace orvane
