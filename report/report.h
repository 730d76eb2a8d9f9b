// The parameter report, the dose table text and the graph of one schedule, as plain data.
#pragma once

#include <string>
#include <vector>

#include "engine/model.h"

namespace orvane {

// The fixed-layout report of the parameters and one schedule's fill rates (TABs, CR LF).
std::string ParameterReport(const ModelParameters& parameters, const FillRateSchedule& schedule);

// Seven lines (V0 index 0..6) of nine "scientific" doses joined by two blanks, CR LF each.
std::string doseTableText(const DoseTable& table);

// One drawing operation in the graph's user scale: x 0..3 left to right, y 0..3 top down.
struct DrawPrimitive {
    enum class Kind {
        Clear,  // erase the picture
        Point,  // plot (x, y); it becomes the current position
        Line,   // line from the current position to (x, y), which becomes the current position
        Print,  // text with its top left corner at (x, y)
    };
    Kind kind;
    float x = 0.0f;
    float y = 0.0f;
    std::string text;

    bool operator==(const DrawPrimitive&) const = default;
};

// What the results window shows for one schedule.
struct ScheduleView {
    std::vector<DrawPrimitive> drawing;  // Picture1
    std::string table;                   // Text1
    std::string report;                  // Text2
};

// The graph, table and report of schedule 0..2 from stored results.
ScheduleView RenderSchedule(const DoseResults& results, int schedule);

}  // namespace orvane
