// A warning about input that is computed but physically doubtful: told, never refused.
#pragma once

#include <string>

namespace orvane {

struct Warning {
    std::string path;     // the field key ("f1") or scenario key path it is about
    std::string message;  // one sentence or two, for the user
    bool operator==(const Warning&) const = default;
};

}  // namespace orvane
