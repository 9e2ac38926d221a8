#include "record/state.h"

#include <cstdlib>

MeasurementState measurementState;

void* (*allocateResultArray)(size_t entryCount, size_t entrySize) = std::calloc;

uint32_t BlockCount() {
  const uint32_t testArea = static_cast<uint32_t>(measurementState.testAreaSize);
  return (testArea - 2048u) / measurementState.blockStep;
}

uint32_t BlockLength(uint32_t i) { return measurementState.blockStep * i + 2048u; }

static void ReplaceArray(uint64_t** array, uint32_t entryCount) {
  std::free(*array);
  // The allocator zeroes the entries and checks the size product for overflow.
  *array = static_cast<uint64_t*>(allocateResultArray(entryCount == 0 ? 1 : entryCount, sizeof(uint64_t)));
}

void ResetResultArrays() {
  const uint32_t entryCount = BlockCount();
  ReplaceArray(&measurementState.readRates, entryCount);
  ReplaceArray(&measurementState.writeRates, entryCount);
  ReplaceArray(&measurementState.copyRates, entryCount);
  if (!ResultArraysExist()) {
    // A partial set would let a sweep or a paint reach a missing array.
    std::free(measurementState.readRates);
    std::free(measurementState.writeRates);
    std::free(measurementState.copyRates);
    measurementState.readRates = measurementState.writeRates = measurementState.copyRates = nullptr;
  }
}

bool ResultArraysExist() {
  return measurementState.readRates != nullptr && measurementState.writeRates != nullptr &&
         measurementState.copyRates != nullptr;
}
