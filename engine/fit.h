// The fit of a radiopharmaceutical's urinary excretion to a patient's own measurements, by
// weighted least squares on the scenario engine's predictions, and the bladder-wall dose with
// the interval that the fit's uncertainty gives it.
//
// Unknowns: the fractions f_i (each in [0, 1], sum <= 1) and the biological half-lives of 1, 2 or
// 3 components; the physical half-life, Delta and Gamma are the scenario's. The solver works on
// stick-breaking shares s_i in [0, 1] (f_1 = s_1, f_2 = (1 - s_1) s_2, ...) and on the natural
// logarithms of the half-lives; the standard errors of f and of the half-lives follow from the
// covariance there by the delta method. The sds of the points are taken as known (the covariance
// is not scaled by chi-square / dof), and AICc = chi-square + 2p + 2p(p + 1) / (n - p - 1).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/measurements.h"
#include "engine/scenario.h"

namespace orvane {

inline constexpr int kMaxFitComponents = 3;
inline constexpr double kMinFitHalfLife = 0.01;  // min, the solver's bounds on a half-life
inline constexpr double kMaxFitHalfLife = 1e7;   // min

struct FitOptions {
    // 0: fit 1, 2 and 3 (as many as the points allow) and keep the lowest AICc among those that
    // converge with a covariance; else 1..3.
    int components = 0;
    double interval = 0.95;        // probability of the dose interval, 0 < interval < 1
    std::uint64_t samples = 2000;  // parameter sets drawn for the interval; 0: no interval
    std::uint64_t seed = 1;        // the interval does not depend on the number of threads
    int threads = 1;
    int maxIterations = 200;  // of the solver, per start
    // For a window: the interval's parameter sets finished so far (counted up while it runs),
    // and a request to stop, honoured between the models and within one parameter set of the
    // interval per thread by throwing UncertaintyCancelled.
    std::atomic<std::uint64_t>* done = nullptr;
    const std::atomic<bool>* cancel = nullptr;
};

// One fitted component, in order of increasing half-life.
struct FittedComponent {
    double fraction = 0.0;
    double fractionSe = 0.0;
    double halfLife = 0.0;  // min, biological
    double halfLifeSe = 0.0;
    double rateConstant = 0.0;  // min^-1, 0.693 / half-life
};

// One model tried: chi-square = sum of squared weighted residuals, dof = points - unknowns.
struct FitModel {
    int components = 0;
    double aicc = 0.0;  // +infinity when there are too few points for it
    double chiSquare = 0.0;
    int dof = 0;
    bool converged = false;
    std::string message;  // the solver's, when it did not converge
};

struct FitResidual {
    MeasurementKind kind = MeasurementKind::Void;
    int index = 0;  // in its own list of the measurements
    double at = 0.0;
    double measured = 0.0;  // as the model gives it: a void decayed back to its time
    double model = 0.0;
    double weighted = 0.0;  // (measured - model) / sd
};

// The dose at the interval's lower and upper percentiles and at its median, mGy/MBq.
struct DoseInterval {
    double lowPercent = 2.5, low = 0.0;
    double median = 0.0;
    double highPercent = 97.5, high = 0.0;
    std::uint64_t used = 0;      // parameter sets that gave a dose
    std::uint64_t rejected = 0;  // refused by the scenario engine
};

enum class FitFlagKind {
    FractionAtBound,  // a component's fraction is 0 at the solution
    TotalAtBound,     // the fractions add up to 1
    HalfLifeAtBound,  // a half-life at kMinFitHalfLife or kMaxFitHalfLife
    NoCovariance,     // the solution's covariance is singular: no standard errors, no interval
};

struct FitFlag {
    FitFlagKind kind = FitFlagKind::FractionAtBound;
    int component = -1;  // 0-based, in the reported order; -1 for the fit as a whole
    std::string text;    // a sentence for a report
};

struct FitResult {
    bool converged = false;  // false: no parameters, no dose; `message` says why
    std::string message;
    int components = 0;
    std::vector<FittedComponent> parameters;
    std::vector<FitModel> models;  // every model tried, by number of components
    std::vector<FitResidual> residuals;
    ModelParameters kinetics;  // the scenario's radiopharmaceutical with the fitted components
    double dose = 0.0;         // mGy/MBq, the scenario with the fitted kinetics
    bool hasInterval = false;
    DoseInterval doseInterval;
    std::vector<FitFlag> flags;
};

// An unusable request: too few points for the unknowns (the count named), components or
// options out of range. Carries a key path like ScenarioError.
class FitError : public ScenarioError {
public:
    using ScenarioError::ScenarioError;
};

// Fits the kinetics of the scenario's radiopharmaceutical to the measurements, then computes the
// scenario's dose with them and its interval. The measured voids must be voids of the scenario
// (withMeasuredDiary makes them its diary). Starts from the radiopharmaceutical's own components
// when it has any, else (or when those starts fail) from several spread over the points' times.
// Throws ScenarioError or FitError for refused input; a fit that does not converge is returned
// with converged = false.
FitResult fitScenario(const Scenario& scenario, const Measurements& measurements,
                      const QuadratureRule& rule, const FitOptions& options);

}  // namespace orvane
