#include "engine/fit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>

#include "engine/fit_solver.h"
#include "engine/numtext.h"
#include "engine/sampling.h"

namespace orvane {
namespace {

using fit::Parametrisation;
using fit::Solution;

constexpr double kAtBound = 1e-10;
constexpr double kStartTotal = 0.99;     // the fractions of a start add up to at most this
constexpr double kStartFraction = 1e-3;  // and each is at least this
constexpr double kSpread = 3.0;          // a component split in two: half-life / 3 and x 3

struct Component {
    double fraction;
    double halfLife;
};

// The radiopharmaceutical's own components, by half-life.
std::vector<Component> ownComponents(const ModelParameters& p) {
    std::vector<Component> own;
    for (int c = 0; c < kComponentCount; ++c) {
        if (!(p.fraction[c] > 0) || !(p.rateConstant[c] > 0)) continue;
        const double halfLife = p.biologicalHalfLife[c] > 0 ? p.biologicalHalfLife[c]
                                                            : kDecayNumerator / p.rateConstant[c];
        own.push_back({p.fraction[c], halfLife});
    }
    return own;
}

// n components from the own ones: the n largest kept (with the total fraction), or the largest
// split in two until there are n.
std::vector<Component> reshaped(std::vector<Component> c, int n) {
    const auto byFraction = [](const Component& a, const Component& b) {
        return a.fraction > b.fraction;
    };
    std::stable_sort(c.begin(), c.end(), byFraction);
    if (static_cast<int>(c.size()) > n) {
        double total = 0, kept = 0;
        for (std::size_t i = 0; i < c.size(); ++i) {
            total += c[i].fraction;
            if (static_cast<int>(i) < n) kept += c[i].fraction;
        }
        c.resize(static_cast<std::size_t>(n));
        for (Component& k : c) k.fraction *= total / kept;
    }
    while (static_cast<int>(c.size()) < n) {
        const Component largest = c.front();
        c.front() = {largest.fraction / 2, largest.halfLife / kSpread};
        c.push_back({largest.fraction / 2, largest.halfLife * kSpread});
        std::stable_sort(c.begin(), c.end(), byFraction);
    }
    return c;
}

std::vector<double> startTheta(const Parametrisation& form, std::vector<Component> c) {
    std::sort(c.begin(), c.end(),
              [](const Component& a, const Component& b) { return a.halfLife < b.halfLife; });
    double total = 0;
    for (Component& k : c) total += (k.fraction = std::max(k.fraction, kStartFraction));
    std::vector<double> fractions, halfLives;
    for (const Component& k : c) {
        fractions.push_back(total > kStartTotal ? k.fraction * kStartTotal / total : k.fraction);
        halfLives.push_back(std::clamp(k.halfLife, 2 * kMinFitHalfLife, kMaxFitHalfLife / 2));
    }
    return form.theta(fractions, halfLives);
}

// Starts spread over the points' times: half-lives of a 30th, a third and three times the last
// time, the fractions sharing 0.8.
std::vector<std::vector<double>> spreadStarts(const Parametrisation& form, double last) {
    const std::vector<double> scales{1.0 / 30, 1.0 / 3, 3.0};
    std::vector<std::vector<double>> starts;
    const int n = form.components;
    for (unsigned mask = 0; mask < (1u << scales.size()); ++mask) {
        if (std::popcount(mask) != n) continue;
        std::vector<Component> c;
        for (std::size_t i = 0; i < scales.size(); ++i)
            if (mask & (1u << i)) c.push_back({0.8 / n, scales[i] * last});
        starts.push_back(startTheta(form, c));
    }
    return starts;
}

// The components of a solution, in its order.
std::vector<Component> componentsOf(const Solution& s) {
    std::vector<double> fractions, halfLives;
    s.form.values(s.theta.data(), fractions, halfLives);
    std::vector<Component> c;
    for (std::size_t i = 0; i < fractions.size(); ++i) c.push_back({fractions[i], halfLives[i]});
    return c;
}

// Starts from the radiopharmaceutical's own components reshaped to n (else from starts spread
// over the points' times), and from the solution with one component less (when given) with a
// small one added, faster and slower than the rest; the spread starts also when none converges.
Solution fitModel(const MeasurementModel& model, const ModelParameters& base, int n,
                  int maxIterations, const Solution* fewer) {
    const Parametrisation form{n};
    std::vector<std::vector<double>> starts;
    const std::vector<Component> own = ownComponents(base);
    if (!own.empty()) starts.push_back(startTheta(form, reshaped(own, n)));
    if (fewer && fewer->converged && fewer->form.components == n - 1) {
        const std::vector<Component> c = componentsOf(*fewer);
        double shortest = kMaxFitHalfLife, longest = kMinFitHalfLife;
        for (const Component& k : c) {
            shortest = std::min(shortest, k.halfLife);
            longest = std::max(longest, k.halfLife);
        }
        for (double halfLife : {shortest / (kSpread * kSpread), longest * kSpread * kSpread}) {
            std::vector<Component> added = c;
            added.push_back({kStartFraction, halfLife});
            starts.push_back(startTheta(form, added));
        }
    }
    double last = 0;
    for (const MeasurementPoint& p : model.points()) last = std::max(last, p.at);
    if (own.empty())
        for (std::vector<double>& start : spreadStarts(form, last)) starts.push_back(start);
    Solution best = fit::solve(model, base, form, starts, maxIterations);
    if (!best.converged && !own.empty()) {
        const std::string message = best.message;
        best = fit::solve(model, base, form, spreadStarts(form, last), maxIterations);
        if (!best.converged) best.message = message;
    }
    return best;
}

double aicc(double chiSquare, int points, int unknowns) {
    const int rest = points - unknowns - 1;
    if (rest <= 0) return std::numeric_limits<double>::infinity();
    return chiSquare + 2.0 * unknowns + 2.0 * unknowns * (unknowns + 1) / rest;
}

std::string componentText(int c) {
    return "component " + std::to_string(c + 1);
}

// Parameters, standard errors, flags and kinetics of the chosen solution, by half-life.
void describe(const Solution& s, const ModelParameters& base, FitResult& out) {
    const int n = s.form.components, m = s.form.size();
    std::vector<double> fractions, halfLives;
    s.form.values(s.theta.data(), fractions, halfLives);
    std::vector<double> variance(static_cast<std::size_t>(m),
                                 std::numeric_limits<double>::quiet_NaN());
    if (s.hasCovariance) {
        const std::vector<double> j = s.form.jacobian(s.theta.data());
        for (int r = 0; r < m; ++r) {
            double v = 0;
            for (int a = 0; a < m; ++a)
                for (int b = 0; b < m; ++b)
                    v += j[r * m + a] * s.covariance[a * m + b] * j[r * m + b];
            variance[r] = std::max(v, 0.0);
        }
    }
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return halfLives[a] < halfLives[b]; });
    out.kinetics = base;
    out.kinetics.fraction = {};
    out.kinetics.rateConstant = {};
    out.kinetics.biologicalHalfLife = {};
    double total = 0;
    for (int k = 0; k < n; ++k) {
        const int i = order[k];
        out.parameters.push_back({fractions[i], std::sqrt(variance[i]), halfLives[i],
                                  std::sqrt(variance[n + i]), kDecayNumerator / halfLives[i]});
        out.kinetics.fraction[k] = fractions[i];
        out.kinetics.biologicalHalfLife[k] = halfLives[i];
        out.kinetics.rateConstant[k] = kDecayNumerator / halfLives[i];
        total += fractions[i];
        if (fractions[i] <= kAtBound)
            out.flags.push_back({FitFlagKind::FractionAtBound, k,
                                 "the fraction of " + componentText(k) + " is at its bound, 0"});
        if (halfLives[i] <= kMinFitHalfLife * (1 + kAtBound) ||
            halfLives[i] >= kMaxFitHalfLife * (1 - kAtBound))
            out.flags.push_back({FitFlagKind::HalfLifeAtBound, k,
                                 "the half-life of " + componentText(k) + " is at its bound, " +
                                     formatSignificant(halfLives[i], 3) + " min"});
    }
    if (total >= 1 - kAtBound)
        out.flags.push_back(
            {FitFlagKind::TotalAtBound, -1, "the fractions add up to their bound, 1"});
    if (!s.hasCovariance)
        out.flags.push_back({FitFlagKind::NoCovariance, -1,
                             "the measurements do not determine every parameter (singular "
                             "covariance): no standard errors and no dose interval"});
}

void checkOptions(const FitOptions& o) {
    if (o.components < 0 || o.components > kMaxFitComponents)
        throw FitError("fit.components",
                       "expected \"auto\" or 1, 2 or 3, got " + std::to_string(o.components));
    if (!(o.interval > 0 && o.interval < 1))
        throw FitError("fit.interval", "expected a probability between 0 and 1, got " +
                                           formatSignificant(o.interval, 6));
    if (o.threads < 1) throw FitError("fit.threads", "expected 1 or more");
    if (o.maxIterations < 1) throw FitError("fit.max_iterations", "expected 1 or more");
}

}  // namespace

FitResult fitScenario(const Scenario& scenario, const Measurements& measurements,
                      const QuadratureRule& rule, const FitOptions& options) {
    checkOptions(options);
    checkScenario(scenario);
    std::vector<MeasurementPoint> points = measurementPoints(measurements, scenario);
    const int count = static_cast<int>(points.size());
    std::vector<int> tried;
    if (options.components > 0) {
        if (count <= 2 * options.components)
            throw FitError("measurements",
                           std::to_string(count) + " measured points are too few for the " +
                               std::to_string(2 * options.components) + " unknowns of " +
                               std::to_string(options.components) +
                               " components; expected at least " +
                               std::to_string(2 * options.components + 1));
        tried.push_back(options.components);
    } else {
        // AICc compares models with at least one point more than unknowns + 1.
        for (int n = 1; n <= kMaxFitComponents; ++n)
            if (count >= 2 * n + 2) tried.push_back(n);
        if (tried.empty())
            throw FitError("measurements", std::to_string(count) +
                                               " measured points are too few to choose the "
                                               "number of components; expected at least 4");
    }

    const MeasurementModel model(scenario, std::move(points), rule);
    const ModelParameters& base = scenario.radiopharmaceutical;
    FitResult result;
    std::vector<Solution> solutions;
    int chosen = -1;
    for (int n : tried) {
        if (options.cancel && *options.cancel) throw UncertaintyCancelled();
        solutions.push_back(fitModel(model, base, n, options.maxIterations,
                                     solutions.empty() ? nullptr : &solutions.back()));
        const Solution& s = solutions.back();
        const int unknowns = s.form.size();
        result.models.push_back({n, aicc(s.chiSquare, count, unknowns), s.chiSquare,
                                 count - unknowns, s.converged, s.message});
        if (!s.converged) {
            result.models.back().aicc = std::numeric_limits<double>::quiet_NaN();
            result.models.back().chiSquare = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        // A model with a singular covariance is kept only when no other converges.
        const auto better = [&](int a, int b) {
            if (solutions[a].hasCovariance != solutions[b].hasCovariance)
                return solutions[a].hasCovariance;
            return result.models[a].aicc < result.models[b].aicc;
        };
        const int index = static_cast<int>(solutions.size()) - 1;
        if (chosen < 0 || better(index, chosen)) chosen = index;
    }
    if (chosen < 0) {
        result.message = "the fit did not converge: " + solutions.back().message;
        return result;
    }

    const Solution& s = solutions[static_cast<std::size_t>(chosen)];
    result.converged = true;
    result.components = s.form.components;
    describe(s, base, result);
    std::vector<double> predicted;
    model.predict(s.form.kinetics(base, s.theta.data()), predicted);
    for (std::size_t i = 0; i < predicted.size(); ++i) {
        const MeasurementPoint& p = model.points()[i];
        result.residuals.push_back(
            {p.kind, p.index, p.at, p.measured, predicted[i], (p.measured - predicted[i]) / p.sd});
    }
    Scenario fitted = scenario;
    fitted.radiopharmaceutical = result.kinetics;
    ScenarioWorkspace workspace;
    result.dose = scenarioDose(fitted, rule, workspace);
    if (options.cancel && *options.cancel) throw UncertaintyCancelled();
    if (s.hasCovariance && options.samples > 0) {
        result.doseInterval = fit::doseInterval(scenario, rule, s, options);
        result.hasInterval = true;
    }
    return result;
}

}  // namespace orvane
