#include "tests/e2e/scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "probe/processor.h"
#include "record/state.h"

namespace {

int next = 0;  // the number the next screenshot must get

long long Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

long FileSize(const std::string& name) {
  std::ifstream file(name, std::ios::binary | std::ios::ate);
  return file ? static_cast<long>(file.tellg()) : -1;
}

// The screenshot command; its file must appear as screenshot-NUMBER.bmp
// (read once it stops growing) and have the client area's size.
Picture Shot(int number) {
  const std::string name = "screenshot-" + std::to_string(number) + ".bmp";
  Check(FileSize(name) < 0, "%s does not exist before its screenshot", name.c_str());
  Act(kScreenshot);
  long size = -1;
  for (const long long end = Now() + 10000; Now() < end; Pause(100)) {
    const long now = FileSize(name);
    if (now > 54 && now == size) break;
    size = now;
  }
  int width, height;
  ClientSize(&width, &height);
  const Picture picture = LoadScreenshot(name, true);
  Check(picture.width == width && picture.height == height, "%s: the client area's size %dx%d", name.c_str(), width,
        height);
  return picture;
}

// Screenshots until one shows the three curves, for at most timeout ms.
Picture WaitForCurves(int timeout, const char* what) {
  Picture picture;
  for (const long long end = Now() + timeout;;) {
    Pause(1500);
    picture = Shot(next++);
    if (picture.width == 0 || CurvesUp(picture) || Now() > end) break;
  }
  CheckCurves(picture, true, what);
  return picture;
}

// A change that starts the curves afresh: flat right after it, drawn again
// by the next sweeps.
Picture Restart(Action action, int choice, int timeout, const char* what) {
  Act(action, choice);
  CheckCurves(Shot(next++), false, what);
  return WaitForCurves(timeout, what);
}

void CheckMarks(const Picture& without, uint64_t testArea) {
  Act(kCacheMarks);
  CheckCacheMarks(without, Shot(next++), testArea, measurementState.l1CacheSize, measurementState.l2CacheSize);
  Act(kCacheMarks);
}

// Threads that appear while watching: the sweeps, one thread each. An id
// that is gone and comes back is a new thread.
struct SweepCounter {
  std::set<long> baseline = ProgramThreads(), present;
  int started = 0;
  void Watch(int milliseconds) {
    for (const long long end = Now() + milliseconds; Now() < end; Pause(10)) {
      std::set<long> now;
      for (long id : ProgramThreads()) {
        if (baseline.count(id) != 0) continue;
        now.insert(id);
        started += present.count(id) == 0;
      }
      present = now;
    }
  }
};

// Each sweep must be noticed by the window before the next can start, so a
// lost notice would end them for good.
void CheckSweepsKeepComing(const char* when) {
  SweepCounter counter;
  counter.Watch(30000);
  Check(counter.started >= 20, "sweeps keep coming %s: %d in 30 s (at least 20 expected)", when, counter.started);
}

void MainScenario() {
  ProbeProcessor();  // the cache sizes the program finds on this machine
  const ButtonColours colours = ProgramButtonColours();
  Act(kEnterAndEscape);  // closing on either would fail every step below
  Pause(1000);
  CheckLayout(Shot(next++), "at start", colours);
  // The smallest sweeps: 16 KB steps over 1 MB, fast mode.
  Act(kBlockStep, 4);
  Act(kFast);
  const Picture measured = Restart(kTestArea, 0, 20000, "after choosing 1 MB");
  CheckLayout(measured, "with curves", colours);
  CheckMarks(measured, 0x100000);
  // File numbers: a removed file's number is taken first.
  std::remove("screenshot-1.bmp");
  Shot(1);
  Restart(kBlockStep, 4, 20000, "after choosing the block step already chosen");
  Act(kPowerDefeat);  // off and on again; the sweeps go on
  Act(kPowerDefeat);
  CheckSweepsKeepComing("without commands");
  Act(kRefresh, 4);  // the window repaints as fast as it can
  CheckSweepsKeepComing("under \"Sofort\"");
  CheckLayout(Shot(next++), "under \"Sofort\"", colours);
  Act(kRefresh, 1);
  if (Resize(520, 400)) {
    Pause(1000);
    CheckLayout(Shot(next++), "after the resize to 520x400", colours);
  }
  // Over 2 MB a second-level cache of 1 MB lies inside the plot.
  CheckMarks(Restart(kTestArea, 1, 30000, "after choosing 2 MB"), 0x200000);
  Close();
}

void StressScenario() {
  Act(kFast);
  SweepCounter counter;
  // 200 changes at uneven intervals meet sweeps in every phase: starting,
  // measuring the clock, amid the blocks.
  uint32_t random = 12345;
  for (int change = 0; change < 200; ++change) {
    random = random * 1103515245u + 12345u;
    const int pick = static_cast<int>(random >> 16);
    Act(change % 2 == 0 ? kBlockStep : kTestArea, change % 2 == 0 ? pick % 5 : pick % 4);
    counter.Watch(pick % 120);
  }
  Check(counter.started >= 5, "sweeps ran while the settings changed (%d seen)", counter.started);
  Act(kBlockStep, 4);
  Restart(kTestArea, 0, 20000, "after the changes");
  Close();
}
}  // namespace

int RunScenario(const std::string& name) {
  if (name == "main") MainScenario();
  else if (name == "stress") StressScenario();
  else return std::fprintf(stderr, "scenarios: main, stress\n"), 2;
  return std::min(checkFailures, 99);  // an exit code that cannot wrap to 0
}
