// The uncertainty tab's charts: the histogram of the sampled doses with their percentiles,
// and the tornado of one input at a time.
#pragma once

#include "engine/sampling.h"

class QChart;

namespace orvane {

// An empty chart with the tab's margins.
QChart* newUncertaintyChart();

// Fills an empty chart: the used doses up to a high percentile in equal bins (the bins from
// histogramOf), with the reported percentiles as lines. Nothing when no sample was used.
void drawDoseHistogram(QChart& chart, const UncertaintyResult& result);

// Fills an empty chart: the change from the nominal dose with each input at its 5th and 95th
// percentile, the largest swing on top.
void drawTornado(QChart& chart, const UncertaintyResult& result);

}  // namespace orvane
