// The information text of the input window: instructions, two CR LF, "Reference: ...".
#pragma once

#include <string>

namespace orvane {

std::string informationText();

}  // namespace orvane
