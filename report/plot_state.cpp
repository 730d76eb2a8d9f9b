#include "report/plot_state.h"

#include <algorithm>
#include <cmath>

#include "engine/sampling.h"

namespace orvane {

void TimeWindow::showWhole(double end) {
    end_ = std::isfinite(end) ? std::max(end, kMinimumSpan) : 1.0;
    lo_ = 0.0;
    hi_ = end_;
}

bool TimeWindow::show(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return false;
    lo_ = lo;
    hi_ = hi;
    return true;
}

bool TimeWindow::zoom(double at, bool in) {
    const double factor = in ? kZoomIn : kZoomOut;
    const double lo = at - (at - lo_) * factor;
    const double hi = at + (hi_ - at) * factor;
    if (!(hi - lo > kMinimumSpan)) return false;
    return show(lo, hi);
}

double TimeWindow::withinWhole(double at) const {
    return std::clamp(at, 0.0, end_);
}

Histogram histogramOf(const std::vector<double>& values, int bins, double topPercentile) {
    Histogram h;
    std::vector<double> used;
    for (const double v : values) {
        if (!std::isnan(v)) used.push_back(v);
    }
    if (used.empty() || bins < 1) return h;
    std::sort(used.begin(), used.end());
    h.low = used.front();
    h.top = percentileOfSorted(used, topPercentile);
    if (!(h.top > h.low)) h.top = h.low + std::max(std::abs(h.low) * 1e-3, 1e-12);
    h.width = (h.top - h.low) / bins;
    h.counts.assign(static_cast<std::size_t>(bins), 0);
    for (const double v : used) {
        if (v > h.top) {
            ++h.beyond;
            continue;
        }
        ++h.counts[static_cast<std::size_t>(
            std::min(bins - 1, static_cast<int>((v - h.low) / h.width)))];
    }
    h.tallest = *std::max_element(h.counts.begin(), h.counts.end());
    return h;
}

}  // namespace orvane
