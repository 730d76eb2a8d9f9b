// Voiding when the bladder is full: the exact time at which a piecewise linear fill reaches the
// bladder's capacity, and the checks of a capacity in a scenario.
// Units: time min after administration, volume ml, fill rate ml/min.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "engine/scenario.h"

namespace orvane {

// A stretch of constant fill rate: its rate, and the time at which it ends (+inf: never).
struct FillPiece {
    double rate = 0.0;  // ml/min, >= 0
    double until = 0.0;
};

// The piece of fill rate that holds from a given time on.
using FillPieceAt = std::function<FillPiece(double time)>;

// The earliest time after `time` at which a bladder holding `volume` ml then, filled as
// pieceAt says, holds `capacity` ml; nullopt when that is not before `limit` (+inf allowed).
// Solved piece by piece: within the piece that crosses, time + (capacity - v) / rate, so no
// step size is involved. A volume already at the capacity crosses at `time` itself. Throws
// ScenarioError(path) when the crossing would take more than maxPieces pieces.
std::optional<double> capacityCrossing(double time, double volume, double capacity, double limit,
                                       const FillPieceAt& pieceAt, int maxPieces, const char* path);

// Refuses a capacity (ScenarioError with the key path) that is missing where the pattern needs
// one, given where no pattern uses it, not a positive finite number, or not above the volume the
// bladder holds when the capacity starts to apply (the initial volume, the residual volume, the
// diary's last residual).
void checkCapacity(const Scenario& scenario);

// The key path of the pattern's capacity: "voiding.capacity" or, for a diary, its `then`.
const char* capacityPath(const VoidingPattern& voiding);

}  // namespace orvane
