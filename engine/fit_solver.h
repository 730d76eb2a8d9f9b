// The pieces of the fit that the solver and the dose interval share: the solver's
// parametrisation, one model's solution, and the interval's draws. Used by engine/fit.cpp only.
#pragma once

#include <vector>

#include "engine/fit.h"

namespace orvane::fit {

// The solver's parameters of an n-component model: n stick-breaking shares s_i in [0, 1], then
// the n natural logarithms of the biological half-lives.
struct Parametrisation {
    int components = 1;
    int size() const { return 2 * components; }
    // The scenario's radiopharmaceutical with the components of theta (the rest set to 0).
    ModelParameters kinetics(const ModelParameters& base, const double* theta) const;
    // Fractions and half-lives of theta, in theta's order.
    void values(const double* theta, std::vector<double>& fractions,
                std::vector<double>& halfLives) const;
    // theta from fractions (sum <= 1) and half-lives, each inside the solver's bounds.
    std::vector<double> theta(const std::vector<double>& fractions,
                              const std::vector<double>& halfLives) const;
    // The derivatives of (f_1..f_n, T_1..T_n) by theta, row by row (2n x 2n).
    std::vector<double> jacobian(const double* theta) const;
    // Puts every parameter inside its bound.
    void clamp(double* theta) const;
};

// The best solution of one model over its starts.
struct Solution {
    Parametrisation form;
    std::vector<double> theta;
    double chiSquare = 0.0;
    bool converged = false;
    std::string message;
    bool hasCovariance = false;
    std::vector<double> covariance;  // of theta, 2n x 2n, row by row
};

// Fits the model from each start (theta vectors), keeps the converged one with the lowest
// chi-square and computes its covariance.
Solution solve(const MeasurementModel& model, const ModelParameters& base,
               const Parametrisation& form, const std::vector<std::vector<double>>& starts,
               int maxIterations);

// The dose interval of a solution with a covariance: parameter sets drawn from the normal
// distribution of theta (a draw beyond a bound taken at the bound), each run through the scenario.
DoseInterval doseInterval(const Scenario& scenario, const QuadratureRule& rule,
                          const Solution& solution, const FitOptions& options);

}  // namespace orvane::fit
