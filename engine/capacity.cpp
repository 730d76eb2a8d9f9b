#include "engine/capacity.h"

#include <algorithm>
#include <cmath>

#include "engine/numtext.h"

namespace orvane {

std::optional<double> capacityCrossing(double time, double volume, double capacity, double limit,
                                       const FillPieceAt& pieceAt, int maxPieces,
                                       const char* path) {
    for (int pieces = 0; time < limit; ++pieces) {
        const double missing = capacity - volume;
        if (missing <= 0) return time;
        if (pieces == maxPieces) {
            throw ScenarioError(path,
                                "the bladder would fill to its capacity only after more than " +
                                    std::to_string(maxPieces) +
                                    " changes of fill rate; expected a smaller capacity or "
                                    "larger fill rates");
        }
        const FillPiece piece = pieceAt(time);
        const double end = std::min(piece.until, limit);
        if (piece.rate > 0 && missing <= piece.rate * (end - time)) {
            const double full = std::min(time + missing / piece.rate, end);
            return full < limit ? std::optional<double>(full) : std::nullopt;
        }
        if (!std::isfinite(end)) return std::nullopt;  // no fill from here on
        volume += piece.rate * (end - time);
        time = end;
    }
    return std::nullopt;
}

const char* capacityPath(const VoidingPattern& voiding) {
    return voiding.kind == VoidingKind::Diary ? "voiding.then.capacity" : "voiding.capacity";
}

void checkCapacity(const Scenario& s) {
    const VoidingPattern& v = s.voiding;
    const char* path = capacityPath(v);
    auto refuse = [&](const std::string& reason) { throw ScenarioError(path, reason); };
    if (!v.capacity) {
        if (v.kind == VoidingKind::Capacity) {
            refuse("missing: the \"capacity\" pattern voids when the bladder holds it");
        }
        return;
    }
    if (v.kind == VoidingKind::Table) {
        refuse(
            "the \"table\" pattern keeps the tables' clock; a capacity needs the \"regular\", "
            "\"diary\" or \"capacity\" pattern");
    }
    if (v.kind == VoidingKind::Diary && !v.then) {
        refuse("a diary's capacity applies to its regular continuation; expected \"then\"");
    }
    const double capacity = *v.capacity;
    if (!std::isfinite(capacity) || capacity <= 0) {
        refuse("expected a positive number of ml, got " + formatSignificant(capacity, 6));
    }
    // The bladder must be below the capacity whenever a filling starts under it.
    auto above = [&](double volume, const std::string& what) {
        if (!(capacity > volume)) {
            refuse("expected more than the " + what + ", " + formatSignificant(volume, 6) +
                   " ml; got " + formatSignificant(capacity, 6) + " ml");
        }
    };
    above(s.residualVolume, "residual volume");
    if (v.kind != VoidingKind::Diary) {
        above(s.initialVolume, "initial volume");
    } else if (!v.voids.empty() && v.voids.back().residual) {
        above(*v.voids.back().residual, "residual of the diary's last void");
    }
}

}  // namespace orvane
