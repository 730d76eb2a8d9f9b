#include "engine/distribution.h"

#include <cmath>
#include <numbers>

namespace orvane {

namespace {

// Rational approximation of the normal quantile (relative error below 1.2e-9), refined below.
double normalQuantileApproximation(double p) {
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                   -2.759285104469687e+02, 1.383577518672690e+02,
                                   -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                   -1.556989798598866e+02, 6.680131188771972e+01,
                                   -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                   -2.400758277161838e+00, -2.549732539343734e+00,
                                   4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                   2.445134137142996e+00, 3.754408661907416e+00};
    constexpr double kLow = 0.02425;
    auto tail = [&](double q) {
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    };
    if (p < kLow) return tail(std::sqrt(-2 * std::log(p)));
    if (p > 1 - kLow) return -tail(std::sqrt(-2 * std::log1p(-p)));
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

}  // namespace

double standardNormalCdf(double z) {
    return 0.5 * std::erfc(-z / std::numbers::sqrt2);
}

double standardNormalQuantile(double p) {
    double x = normalQuantileApproximation(p);
    // One Halley step on Phi(x) - p brings the approximation to full double precision. In the
    // upper tail the complement is used, so that 1 - p loses no digits.
    const double e =
        p > 0.5 ? -(0.5 * std::erfc(x / std::numbers::sqrt2) - (1 - p)) : standardNormalCdf(x) - p;
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double quantile(const Distribution& d, double p) {
    switch (d.kind) {
        case DistributionKind::Normal:
            return d.a + d.b * standardNormalQuantile(p);
        case DistributionKind::Lognormal:
            return d.a * std::exp(std::log(d.b) * standardNormalQuantile(p));
        case DistributionKind::Uniform:
            return d.a + (d.b - d.a) * p;
        case DistributionKind::Triangular: {
            const double width = d.c - d.a;
            const double split = (d.b - d.a) / width;
            if (p < split) return d.a + std::sqrt(p * width * (d.b - d.a));
            return d.c - std::sqrt((1 - p) * width * (d.c - d.b));
        }
    }
    return std::nan("");
}

double cdf(const Distribution& d, double x) {
    switch (d.kind) {
        case DistributionKind::Normal:
            return standardNormalCdf((x - d.a) / d.b);
        case DistributionKind::Lognormal:
            return x <= 0 ? 0.0 : standardNormalCdf(std::log(x / d.a) / std::log(d.b));
        case DistributionKind::Uniform:
            return x <= d.a ? 0.0 : x >= d.b ? 1.0 : (x - d.a) / (d.b - d.a);
        case DistributionKind::Triangular:
            if (x <= d.a) return 0.0;
            if (x >= d.c) return 1.0;
            if (x <= d.b) return (x - d.a) * (x - d.a) / ((d.c - d.a) * (d.b - d.a));
            return 1 - (d.c - x) * (d.c - x) / ((d.c - d.a) * (d.c - d.b));
    }
    return std::nan("");
}

double acceptedProbability(const Distribution& d) {
    const double low = std::isinf(d.min) ? 0.0 : cdf(d, d.min);
    const double high = std::isinf(d.max) ? 1.0 : cdf(d, d.max);
    return high - low;
}

double boundedQuantile(const Distribution& d, double p) {
    const double low = std::isinf(d.min) ? 0.0 : cdf(d, d.min);
    const double high = std::isinf(d.max) ? 1.0 : cdf(d, d.max);
    if (low == 0.0 && high == 1.0) return quantile(d, p);
    return quantile(d, low + p * (high - low));
}

const char* distributionProblem(const Distribution& d) {
    if (!std::isfinite(d.a) || !std::isfinite(d.b) || !std::isfinite(d.c))
        return "its parameters must be finite numbers";
    if (std::isnan(d.min) || std::isnan(d.max) ||
        d.min == std::numeric_limits<double>::infinity() ||
        d.max == -std::numeric_limits<double>::infinity())
        return "min and max must be finite numbers";
    switch (d.kind) {
        case DistributionKind::Normal:
            if (!(d.b > 0)) return "a normal distribution needs an sd above 0";
            break;
        case DistributionKind::Lognormal:
            if (!(d.a > 0)) return "a lognormal distribution needs a median above 0";
            if (!(d.b > 1)) return "a lognormal distribution needs a gsd above 1";
            break;
        case DistributionKind::Uniform:
            if (!(d.a < d.b)) return "a uniform distribution needs its lowest below its highest";
            break;
        case DistributionKind::Triangular:
            if (!(d.a <= d.b && d.b <= d.c && d.a < d.c))
                return "a triangular distribution needs lowest <= mode <= highest, lowest < "
                       "highest";
            break;
    }
    if (!(d.min < d.max)) return "min must be below max";
    if (!(acceptedProbability(d) > 0)) return "min and max leave no value the distribution draws";
    return "";
}

}  // namespace orvane
