#include "gui/input/information_text.h"

namespace orvane {

std::string informationText() {
    return "Choose a standard radiopharmaceutical from the list or enter your own data. You may "
           "also modify the standard data. When all of the data are correct, check the time for "
           "calculation, and, if acceptable, push the 'Calculate Doses' button."
           "\r\n\r\n"
           "Reference: the dynamic urinary bladder model of this program. The kidneys deliver "
           "activity to the bladder in up to four exponential components; urine fills the "
           "bladder at a day rate and a lower night rate; the bladder is voided first at T0 and "
           "then on a fixed day and night schedule, each void leaving 10 ml; the dose rate to "
           "the wall depends on the momentary volume of the contents. See the README, section "
           "\"The model\".";
}

}  // namespace orvane
