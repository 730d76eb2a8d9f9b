#include "engine/fit_solver.h"

#include <ceres/ceres.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "engine/sampling.h"

namespace orvane::fit {
namespace {

const double kLowLog = std::log(kMinFitHalfLife);
const double kHighLog = std::log(kMaxFitHalfLife);

// The weighted residuals (measured - model) / sd of every point, for Ceres.
class WeightedResiduals {
public:
    WeightedResiduals(const MeasurementModel& model, const ModelParameters& base,
                      Parametrisation form)
        : model_(model), base_(base), form_(form) {}

    bool operator()(double const* const* parameters, double* residuals) const {
        try {
            model_.predict(form_.kinetics(base_, parameters[0]), predicted_);
        } catch (const ScenarioError&) {
            return false;  // the solver tries a shorter step
        }
        const std::vector<MeasurementPoint>& points = model_.points();
        for (std::size_t i = 0; i < points.size(); ++i) {
            residuals[i] = (points[i].measured - predicted_[i]) / points[i].sd;
            if (!std::isfinite(residuals[i])) return false;
        }
        return true;
    }

private:
    const MeasurementModel& model_;
    const ModelParameters& base_;
    Parametrisation form_;
    mutable std::vector<double> predicted_;  // one solver thread
};

// Ceres refuses a covariance whose J'J has a reciprocal condition number below this, and logs
// the refusal; the library checks first, so that it never prints.
constexpr double kMinReciprocalCondition = 1e-14;

bool wellConditioned(ceres::Problem& problem) {
    ceres::CRSMatrix crs;
    if (!problem.Evaluate(ceres::Problem::EvaluateOptions(), nullptr, nullptr, nullptr, &crs))
        return false;
    Eigen::MatrixXd jacobian = Eigen::MatrixXd::Zero(crs.num_rows, crs.num_cols);
    for (int r = 0; r < crs.num_rows; ++r)
        for (int k = crs.rows[r]; k < crs.rows[r + 1]; ++k)
            jacobian(r, crs.cols[k]) = crs.values[k];
    const Eigen::VectorXd sv = Eigen::JacobiSVD<Eigen::MatrixXd>(jacobian).singularValues();
    if (sv.size() == 0 || !(sv(0) > 0) || !sv.allFinite()) return false;
    const double ratio = sv(sv.size() - 1) / sv(0);
    return ratio * ratio >= 2 * kMinReciprocalCondition;
}

bool covariance(ceres::Problem& problem, const std::vector<double>& theta,
                std::vector<double>& out) {
    ceres::Covariance::Options options;
    options.algorithm_type = ceres::DENSE_SVD;
    options.min_reciprocal_condition_number = kMinReciprocalCondition;
    options.num_threads = 1;
    ceres::Covariance covariance(options);
    const double* x = theta.data();
    const std::vector<std::pair<const double*, const double*>> blocks{{x, x}};
    if (!covariance.Compute(blocks, &problem) || !covariance.GetCovarianceBlock(x, x, out.data()))
        return false;
    for (double v : out)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

ModelParameters Parametrisation::kinetics(const ModelParameters& base, const double* theta) const {
    ModelParameters p = base;
    p.fraction = {};
    p.rateConstant = {};
    p.biologicalHalfLife = {};
    double rest = 1.0;
    for (int i = 0; i < components; ++i) {
        const double halfLife = std::exp(theta[components + i]);
        p.fraction[i] = rest * theta[i];
        rest *= 1 - theta[i];
        p.biologicalHalfLife[i] = halfLife;
        p.rateConstant[i] = kDecayNumerator / halfLife;
    }
    return p;
}

void Parametrisation::values(const double* theta, std::vector<double>& fractions,
                             std::vector<double>& halfLives) const {
    fractions.assign(components, 0.0);
    halfLives.assign(components, 0.0);
    double rest = 1.0;
    for (int i = 0; i < components; ++i) {
        fractions[i] = rest * theta[i];
        rest *= 1 - theta[i];
        halfLives[i] = std::exp(theta[components + i]);
    }
}

std::vector<double> Parametrisation::theta(const std::vector<double>& fractions,
                                           const std::vector<double>& halfLives) const {
    std::vector<double> t(size());
    double rest = 1.0;
    for (int i = 0; i < components; ++i) {
        t[i] = rest > 0 ? std::clamp(fractions[i] / rest, 0.0, 1.0) : 0.0;
        rest -= fractions[i];
        t[components + i] = std::log(halfLives[i]);
    }
    clamp(t.data());
    return t;
}

std::vector<double> Parametrisation::jacobian(const double* theta) const {
    const int n = components, m = size();
    std::vector<double> j(static_cast<std::size_t>(m * m), 0.0);
    for (int i = 0; i < n; ++i) {
        // f_i = s_i prod_{l<i} (1 - s_l)
        double before = 1.0;
        for (int l = 0; l < i; ++l) before *= 1 - theta[l];
        j[i * m + i] = before;
        for (int l = 0; l < i; ++l) {
            double others = theta[i];
            for (int q = 0; q < i; ++q)
                if (q != l) others *= 1 - theta[q];
            j[i * m + l] = -others;
        }
        j[(n + i) * m + n + i] = std::exp(theta[n + i]);  // dT/du = T
    }
    return j;
}

void Parametrisation::clamp(double* theta) const {
    for (int i = 0; i < components; ++i) {
        theta[i] = std::clamp(theta[i], 0.0, 1.0);
        theta[components + i] = std::clamp(theta[components + i], kLowLog, kHighLog);
    }
}

Solution solve(const MeasurementModel& model, const ModelParameters& base,
               const Parametrisation& form, const std::vector<std::vector<double>>& starts,
               int maxIterations) {
    Solution best;
    best.form = form;
    best.message = "no start given";
    std::unique_ptr<std::vector<double>> keptTheta;  // outlives the problem that refers to it
    std::unique_ptr<ceres::Problem> kept;
    for (const std::vector<double>& start : starts) {
        auto theta = std::make_unique<std::vector<double>>(start);
        auto problem = std::make_unique<ceres::Problem>();
        auto* cost = new ceres::DynamicNumericDiffCostFunction<WeightedResiduals, ceres::CENTRAL>(
            new WeightedResiduals(model, base, form));
        cost->AddParameterBlock(form.size());
        cost->SetNumResiduals(static_cast<int>(model.points().size()));
        double* x = theta->data();
        problem->AddResidualBlock(cost, nullptr, x);
        for (int i = 0; i < form.components; ++i) {
            problem->SetParameterLowerBound(x, i, 0.0);
            problem->SetParameterUpperBound(x, i, 1.0);
            problem->SetParameterLowerBound(x, form.components + i, kLowLog);
            problem->SetParameterUpperBound(x, form.components + i, kHighLog);
        }
        ceres::Solver::Options options;
        options.linear_solver_type = ceres::DENSE_QR;
        options.max_num_iterations = maxIterations;
        options.function_tolerance = 1e-15;
        options.gradient_tolerance = 1e-16;
        options.parameter_tolerance = 1e-13;
        options.logging_type = ceres::SILENT;
        options.num_threads = 1;
        ceres::Solver::Summary summary;
        ceres::Solve(options, problem.get(), &summary);
        const bool converged = summary.termination_type == ceres::CONVERGENCE;
        const double chiSquare = 2 * summary.final_cost;
        if (!converged) {
            if (!best.converged) best.message = summary.message;
            continue;
        }
        if (best.converged && !(chiSquare < best.chiSquare)) continue;
        best.converged = true;
        best.chiSquare = chiSquare;
        best.message.clear();
        best.theta = *theta;
        // The problem refers to theta's storage: both are kept for the covariance.
        kept = std::move(problem);
        keptTheta = std::move(theta);
    }
    if (!best.converged) return best;

    best.covariance.assign(static_cast<std::size_t>(form.size() * form.size()), 0.0);
    best.hasCovariance = wellConditioned(*kept) && covariance(*kept, *keptTheta, best.covariance);
    return best;
}

DoseInterval doseInterval(const Scenario& scenario, const QuadratureRule& rule,
                          const Solution& solution, const FitOptions& options) {
    const int m = solution.form.size();
    // theta = fitted + L z with L L^T the covariance: L from its eigenvectors, a rounding-error
    // negative eigenvalue taken as 0.
    const Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>
        covariance(solution.covariance.data(), m, m);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(covariance);
    const Eigen::MatrixXd root =
        eigen.eigenvectors() * eigen.eigenvalues().cwiseMax(0.0).cwiseSqrt().asDiagonal();

    std::vector<UncertainInput> inputs;
    for (int i = 0; i < m; ++i) {
        Distribution normal;
        normal.kind = DistributionKind::Normal;
        normal.b = 1.0;
        inputs.push_back({"fit.z[" + std::to_string(i) + "]", normal, 0.0});
    }
    const DoseFunctionMaker maker = [&] {
        auto workspace = std::make_shared<ScenarioWorkspace>();
        auto varied = std::make_shared<Scenario>(scenario);
        return DoseFunction([&, workspace, varied](const std::vector<double>& z) {
            std::vector<double> theta = solution.theta;
            for (int r = 0; r < m; ++r)
                for (int c = 0; c < m; ++c) theta[r] += root(r, c) * z[c];
            solution.form.clamp(theta.data());
            varied->radiopharmaceutical =
                solution.form.kinetics(scenario.radiopharmaceutical, theta.data());
            try {
                return std::optional<double>(scenarioDose(*varied, rule, *workspace));
            } catch (const ScenarioError&) {
                return std::optional<double>();
            }
        });
    };
    UncertaintyOptions sampling;
    sampling.samples = options.samples;
    sampling.seed = options.seed;
    sampling.threads = options.threads;
    sampling.done = options.done;
    sampling.cancel = options.cancel;
    const UncertaintyResult run = runUncertainty(inputs, maker, sampling);

    std::vector<double> doses;
    for (double d : run.doses)
        if (!std::isnan(d)) doses.push_back(d);
    std::sort(doses.begin(), doses.end());
    DoseInterval interval;
    interval.lowPercent = 50 * (1 - options.interval);
    interval.highPercent = 50 * (1 + options.interval);
    interval.low = percentileOfSorted(doses, interval.lowPercent);
    interval.median = percentileOfSorted(doses, 50);
    interval.high = percentileOfSorted(doses, interval.highPercent);
    interval.used = run.used;
    interval.rejected = run.rejected;
    return interval;
}

}  // namespace orvane::fit
