// Puts the process-wide record back to its start values between tests.
#pragma once
#include <cstdlib>

#include "measure/state.h"

inline void ResetMeasurementStateForTest() {
  std::free(measurementState.readRates);
  std::free(measurementState.writeRates);
  std::free(measurementState.copyRates);
  measurementState = MeasurementState();
}
