// The two test buffers: a read-only source, never written, and a read-write
// destination, both large enough for the largest block and for the warm-ups.
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"

void* (*commitSourcePages)(uint32_t byteCount) = CommitReadOnlyPages;
void* (*commitDestinationPages)(uint32_t byteCount) = CommitReadWritePages;

uint64_t TestBufferSize() {
  const uint64_t twiceL2 = 2 * static_cast<uint64_t>(measurementState.l2CacheSize);
  return measurementState.testAreaSize > twiceL2 ? measurementState.testAreaSize : twiceL2;
}

void ReleaseTestBuffers() {
  // The source is always released first.
  ReleasePages(measurementState.sourceBuffer, measurementState.testBufferSize);
  ReleasePages(measurementState.destinationBuffer, measurementState.testBufferSize);
  measurementState.sourceBuffer = nullptr;
  measurementState.destinationBuffer = nullptr;
  measurementState.testBufferSize = 0;
}

void AllocateTestBuffers() {
  ReleaseTestBuffers();
  const uint64_t size = TestBufferSize();
  if (size == 0 || size > 0xFFFFFFFFu) return;  // no 32-bit byte count can hold it
  const uint32_t byteCount = static_cast<uint32_t>(size);
  uint8_t* source = static_cast<uint8_t*>(commitSourcePages(byteCount));
  uint8_t* destination = source ? static_cast<uint8_t*>(commitDestinationPages(byteCount)) : nullptr;
  if (destination == nullptr) {
    // Never leave one buffer without the other: a sweep needs both.
    ReleasePages(source, byteCount);
    return;
  }
  measurementState.sourceBuffer = source;
  measurementState.destinationBuffer = destination;
  measurementState.testBufferSize = byteCount;
}
