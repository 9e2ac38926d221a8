#include "survey/chase.h"

#include <cstring>

#include "display/exact_arithmetic.h"
#include "probe/time_stamp.h"
#include "survey/stop_request.h"

namespace {

// The cycle of every measurement is the same, so figures repeat run to run.
const uint64_t chaseSeed = 0x9E3779B97F4A7C15u;
const uint64_t picosecondsPerSecond = 1000000000000u;
// A run shorter than the minimum is repeated with more turns at most this
// often, so a counter that stands still cannot keep the walk growing forever.
const int maxRunGrowths = 4;

// SplitMix64: a small, fast generator that gives the same sequence everywhere.
uint64_t NextRandom(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// A number in [0, bound): the high half of random · bound.
uint64_t RandomBelow(uint64_t* state, uint64_t bound) {
  uint64_t high, low;
  MultiplyWide(NextRandom(state), bound, &high, &low);
  return high;
}

void* LoadLink(const char* slot) {
  void* link;
  std::memcpy(&link, slot, sizeof link);
  return link;
}
void StoreLink(char* slot, const void* link) { std::memcpy(slot, &link, sizeof link); }

// Follows loadCount loads from *position in batches, looking at stop before
// each; false when it was raised (*position is then wherever the walk got to).
bool ChaseUnlessStopped(const void** position, uint64_t loadCount, const std::atomic<bool>* stop) {
  while (loadCount > 0) {
    if (StopRequested(stop)) return false;
    const uint64_t batch = loadCount < chaseLookLoads ? loadCount : chaseLookLoads;
    *position = ChaseLoads(*position, batch);
    loadCount -= batch;
  }
  return true;
}

}  // namespace

uint64_t PicosecondsPerLoad(uint64_t ticks, uint64_t loads, uint64_t tscHz) {
  if (loads == 0 || tscHz == 0) return 0;
  // floor(floor(x) / loads) equals floor(x / loads), so dividing in two steps loses nothing.
  const uint64_t picoseconds = MulDivWide(ticks, picosecondsPerSecond, tscHz);
  return picoseconds == UINT64_MAX ? UINT64_MAX : picoseconds / loads;
}

bool BuildChaseCycle(void* buffer, uint64_t lineCount, uint32_t lineSize, uint64_t seed,
                     const std::atomic<bool>* stop) {
  if (!buffer || lineCount == 0 || lineSize < sizeof(void*)) return true;
  char* lines = static_cast<char*>(buffer);
  for (uint64_t k = 0; k < lineCount; ++k) StoreLink(lines + k * lineSize, lines + k * lineSize);
  // Sattolo: swapping each slot only with one below it leaves a single cycle.
  uint64_t state = seed;
  for (uint64_t i = lineCount - 1; i > 0; --i) {
    // Each swap is two random accesses: millions of lines take hundreds of milliseconds.
    if (i % chaseLookLoads == 0 && StopRequested(stop)) return false;
    char* slotI = lines + i * lineSize;
    char* slotJ = lines + RandomBelow(&state, i) * lineSize;
    void* linkI = LoadLink(slotI);
    StoreLink(slotI, LoadLink(slotJ));
    StoreLink(slotJ, linkI);
  }
  return true;
}

uint64_t MeasureChaseLatencyPicoseconds(void* buffer, uint64_t byteCount, uint32_t lineSize,
                                        uint64_t minTicks, uint32_t repeats, uint64_t tscHz,
                                        const std::atomic<bool>* stop) {
  if (!buffer || lineSize < sizeof(void*) || repeats == 0 || tscHz == 0) return 0;
  const uint64_t lineCount = byteCount / lineSize;
  if (lineCount == 0) return 0;
  if (!BuildChaseCycle(buffer, lineCount, lineSize, chaseSeed, stop)) return 0;

  const void* position = buffer;
  uint64_t start = ReadCounterFenced();
  if (!ChaseUnlessStopped(&position, lineCount, stop)) return 0;
  const uint64_t turnTicks = ReadCounterFenced() - start;
  // Whole turns, so that every run visits each line equally often; the
  // estimate from the untimed turn is refined when a run falls short.
  uint64_t turns = turnTicks == 0 ? 1 : minTicks / turnTicks + 1;
  if (turns > UINT64_MAX / lineCount) turns = UINT64_MAX / lineCount;

  uint64_t best = UINT64_MAX;
  int growths = 0;
  for (uint32_t run = 0; run < repeats;) {
    const uint64_t loads = turns * lineCount;
    start = ReadCounterFenced();
    if (!ChaseUnlessStopped(&position, loads, stop)) return 0;
    const uint64_t ticks = ReadCounterFenced() - start;
    if (ticks < minTicks && growths < maxRunGrowths && turns < UINT64_MAX / lineCount) {
      ++growths;
      const uint64_t most = MulDivWide(turns, 16, 1);  // saturates
      uint64_t wanted = ticks == 0 ? most : MulDivWide(turns, minTicks, ticks);
      wanted = wanted >= most ? most : wanted + 1;
      turns = wanted > UINT64_MAX / lineCount ? UINT64_MAX / lineCount : wanted;
      continue;
    }
    const uint64_t picoseconds = PicosecondsPerLoad(ticks, loads, tscHz);
    if (picoseconds < best) best = picoseconds;
    ++run;
  }
  return best;
}
