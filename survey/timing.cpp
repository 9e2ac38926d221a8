#include "survey/timing.h"

#include "survey/arithmetic.h"
#include "survey/counter.h"

extern "C" {
void FillMmxStoreRegisters(void);  // survey/store_pattern.S
void FillXmmStoreRegisters(void);
}

uint64_t CallsForMinimum(uint64_t calls, uint64_t ticks, uint64_t minTicks) {
  if (calls == 0) calls = 1;
  if (ticks >= minTicks) return calls;
  if (ticks == 0) return calls * 2;
  const uint64_t scaled = MulDivWide(calls, minTicks + minTicks / 8, ticks);
  return scaled > calls ? scaled : calls + 1;
}

// Blocks within a kernel's 32-bit count go straight to the routine, so the
// loop around it is a counter and an indirect call.
TimedSpan TimeKernelCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                          uint64_t calls) {
  TimedSpan span{0, 0, 0};
  // A write kernel stores its registers: never all-zero lines (see
  // store_pattern.S). Nothing between here and the calls uses them.
  if (kernel.group == GroupWrite) kernel.isa == IsaMmx ? FillMmxStoreRegisters() : FillXmmStoreRegisters();
  if (length <= (uint64_t{1} << 30)) {
    const uint32_t count = static_cast<uint32_t>(length);
    span.start = ReadCounterFenced();
    switch (kernel.group) {
      case GroupRead:
        for (uint64_t call = 0; call < calls; ++call) kernel.read(source, count);
        break;
      case GroupWrite:
        for (uint64_t call = 0; call < calls; ++call) kernel.write(destination, count);
        break;
      case GroupCopy:
        for (uint64_t call = 0; call < calls; ++call) kernel.copy(source, destination, count);
        break;
    }
    span.end = ReadCounterFenced();
    span.bytes = (length - length % kernel.step) * calls;
  } else {
    span.start = ReadCounterFenced();
    for (uint64_t call = 0; call < calls; ++call) span.bytes += CallSurveyKernel(kernel, source, destination, length);
    span.end = ReadCounterFenced();
  }
  return span;
}
