// The small helpers that the scenario's checks refuse values with: a ScenarioError naming the
// key path, numbers written as the messages write them, and the two range checks.
#pragma once

#include <cmath>
#include <string>
#include <type_traits>

#include "engine/numtext.h"
#include "engine/scenario.h"

namespace orvane::scenario_refusal {

[[noreturn]] inline void refuse(const std::string& path, const std::string& reason) {
    throw ScenarioError(path, reason);
}

// A value in a message: six significant digits.
inline std::string number(double value) {
    return formatSignificant(value, 6);
}

// A key path, or a function that makes it: list entries' paths are only made for a refusal.
template <typename Path>
std::string made(const Path& path) {
    if constexpr (std::is_invocable_v<Path>) {
        return path();
    } else {
        return std::string(path);
    }
}

template <typename Path>
void requirePositive(const Path& path, double value, const char* unit) {
    if (!std::isfinite(value) || value <= 0) {
        refuse(made(path),
               std::string("expected a positive number of ") + unit + ", got " + number(value));
    }
}

template <typename Path>
void requireNonNegative(const Path& path, double value, const char* unit) {
    if (!std::isfinite(value) || value < 0) {
        refuse(made(path),
               std::string("expected a number of ") + unit + ", 0 or more, got " + number(value));
    }
}

}  // namespace orvane::scenario_refusal
