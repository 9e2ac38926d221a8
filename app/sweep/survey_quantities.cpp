#include "app/sweep/survey_quantities.h"

const char* const copyAccounting =
    "copy rates count each byte copied once (read once and written once); likwid-bench and STREAM count it "
    "read plus written, twice these figures";
