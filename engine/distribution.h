// Probability distributions of an uncertain input, with their own transforms from a uniform
// variate, so that a seed gives the same values with every standard library.
#pragma once

#include <limits>

namespace orvane {

enum class DistributionKind { Normal, Lognormal, Uniform, Triangular };

// One input's distribution; values outside [min, max] are rejected, never clipped.
//   Normal:     a = mean,   b = standard deviation (> 0)
//   Lognormal:  a = median (> 0), b = geometric standard deviation (> 1)
//   Uniform:    a = lowest, b = highest (a < b)
//   Triangular: a = lowest, b = mode, c = highest (a <= b <= c, a < c)
struct Distribution {
    DistributionKind kind = DistributionKind::Uniform;
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double min = -std::numeric_limits<double>::infinity();
    double max = std::numeric_limits<double>::infinity();
};

// The standard normal quantile z(p), 0 < p < 1, to about 1e-15 relative.
double standardNormalQuantile(double p);
// The standard normal cumulative probability of z.
double standardNormalCdf(double z);

// Why the parameters are unusable (empty text when usable): a non-positive sd, gsd <= 1,
// unordered bounds, bounds that leave no probability, a non-finite value.
const char* distributionProblem(const Distribution& d);

// The unbounded distribution's quantile at probability p (0 < p < 1).
double quantile(const Distribution& d, double p);
// The unbounded distribution's cumulative probability at x.
double cdf(const Distribution& d, double x);
// Quantile of the distribution restricted to [min, max]: what rejection sampling yields.
double boundedQuantile(const Distribution& d, double p);
// The probability that a draw falls inside [min, max].
double acceptedProbability(const Distribution& d);

}  // namespace orvane
