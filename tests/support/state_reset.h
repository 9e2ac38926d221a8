// Puts the process-wide record and the display's working values back to their
// start values between tests.
#pragma once
#include <cstdlib>

#include "display/display_state.h"
#include "record/state.h"

inline void ResetMeasurementStateForTest() {
  std::free(measurementState.readRates);
  std::free(measurementState.writeRates);
  std::free(measurementState.copyRates);
  measurementState = MeasurementState();
  displayState = DisplayState();
}
