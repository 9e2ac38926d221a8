// The survey window's behaviour through a fake window, with real small
// surveys on the worker thread: live snapshots, Stop, Close and Save. Run
// under ThreadSanitizer too (label threads): paints race the measuring thread.
#include "app/survey_window/survey_window.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/support/recording_canvas.h"

namespace {
using Clock = std::chrono::steady_clock;

struct FakeWindow {
  std::map<uint32_t, bool> enabled, checked;
  std::map<uint32_t, uint32_t> timers;
  int invalidations = 0, endResult = -1;
  std::string savePath;  // what the dialog answers; empty: cancelled
  std::vector<std::string> errors;
};
FakeWindow* Fake(void* window) { return static_cast<FakeWindow*>(window); }

SurveyWindowPort FakePort(FakeWindow* fake) {
  return {fake,
          [](void* w) { ++Fake(w)->invalidations; },
          [](void* w, uint32_t id, uint32_t period) { Fake(w)->timers[id] = period; },
          [](void* w, uint32_t id) { Fake(w)->timers.erase(id); },
          [](void* w, uint32_t id, bool on) { Fake(w)->enabled[id] = on; },
          [](void* w, uint32_t id, bool on) { Fake(w)->checked[id] = on; },
          [](void* w, SurveyFileKind, const std::string&, std::string* path) {
            *path = Fake(w)->savePath;
            return !path->empty();
          },
          [](void* w, const std::string& message) { Fake(w)->errors.push_back(message); },
          [](void*, const std::string&) {},
          [](void* w, int result) { Fake(w)->endResult = result; }};
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class SurveyWindowTest : public ::testing::Test {
 protected:
  FakeWindow fake;
  SurveyWindow window{FakePort(&fake), {}, {}, 0};
  RecordingCanvas canvas;

  void SetUp() override {
    // A small, quick survey: 2 KiB to 64 KiB, 2 points per doubling.
    SurveySettings& settings = window.settings.settings;
    settings.maxSize = 64 << 10, settings.pointsPerDoubling = 2, settings.minTimeNanoseconds = 20000;
    settings.repeats = 2;
    SurveyWindowOpened(window);
  }
  void TearDown() override { SurveyWindowDestroyed(window); }
  std::shared_ptr<const SurveySnapshot> Now() { return CurrentSurveySnapshot(window.session); }
  // Ticks the repaint timer every 10 ms and paints after each invalidation
  // until done() or 60 s; the number of ticks.
  template <class Done>
  int TickUntil(Done done) {
    int ticks = 0;
    for (const auto end = Clock::now() + std::chrono::seconds(60); !done() && Clock::now() < end; ++ticks) {
      const int before = fake.invalidations;
      SurveyWindowTimer(window, kSurveyRepaintTimer);
      if (fake.invalidations != before) canvas.Clear(), PaintSurveyWindow(window, canvas.canvas, {0, 0, 900, 600});
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ticks;
  }
  bool Drew(const std::string& start) const {
    for (const RecordedOperation& op : canvas.Of("text"))
      if (Narrow(op.text).rfind(start, 0) == 0) return true;
    return false;
  }
};
}  // namespace

TEST_F(SurveyWindowTest, StartShowsTheRunLiveAndEndsWithItsResults) {
  EXPECT_EQ(fake.timers[kSurveyRepaintTimer], 200u);
  EXPECT_FALSE(fake.enabled[kSurveySaveJson]);  // nothing finished: no saving
  SurveyWindowCommand(window, kSurveyStart);
  EXPECT_TRUE(fake.enabled[kSurveyStop] && !fake.enabled[kSurveyStart] && !fake.enabled[kSurveyLatency]);
  bool sawPartial = false;
  const uint64_t firstSerial = Now()->serial;
  const auto start = Clock::now();
  TickUntil([&] {
    sawPartial = sawPartial || (Now()->partialRun && Drew("Stage 1 of 1: 1 thread, pass "));
    return !Now()->running;
  });
  const uint64_t serials = Now()->serial - firstSerial;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  SurveyWindowTimer(window, kSurveyRepaintTimer);
  EXPECT_TRUE(sawPartial) << "no live paint of the run being measured";
  // One invalidation per new snapshot at most, and snapshots at most ten a second (and a few for the stages).
  EXPECT_LE(fake.invalidations, static_cast<int>(serials) + 1);
  EXPECT_LE(static_cast<double>(serials), seconds * 10 + 4) << serials << " snapshots";
  const auto last = Now();
  ASSERT_EQ(last->outcome, SurveyCompleted);
  ASSERT_EQ(last->record.runs.size(), 1u);
  EXPECT_TRUE(fake.enabled[kSurveySaveJson] && fake.enabled[kSurveyStart] && !fake.enabled[kSurveyStop]);
  EXPECT_FALSE(SurveyWorkerExists(window.session));  // the timer joined the ended worker
  canvas.Clear(), PaintSurveyWindow(window, canvas.canvas, {0, 0, 900, 600});
  EXPECT_TRUE(Drew("Finished in ")) << ::testing::PrintToString(canvas.Lines());
  EXPECT_FALSE(canvas.Of("line").empty());  // the curves of the finished run
}

TEST_F(SurveyWindowTest, StopKeepsTheFinishedRunsAndCloseEndsTheWindowAfterTheWorker) {
  window.settings.threadsText = "1,2", window.settings.settings.repeats = 200;
  SurveyWindowCommand(window, kSurveyStart);
  TickUntil([&] { return Now()->stage == 2 && Now()->partialRun; });
  ASSERT_EQ(Now()->stage, 2u);
  const auto stopAt = Clock::now();
  SurveyWindowCommand(window, kSurveyStop);
  EXPECT_LT(Clock::now() - stopAt, std::chrono::seconds(1));
  EXPECT_FALSE(SurveyWorkerExists(window.session));
  ASSERT_TRUE(Now()->ended);
  EXPECT_EQ(Now()->outcome, SurveyStopped);
  EXPECT_EQ(Now()->record.runs.size(), 1u);  // the first run, not the stopped one
  EXPECT_TRUE(fake.enabled[kSurveyStart] && fake.enabled[kSurveySaveCsv]);

  // Close while measuring: the worker is joined, then the window ends with 0.
  SurveyWindowCommand(window, kSurveyStart);
  TickUntil([&] { return Now()->partialRun; });
  ASSERT_TRUE(Now()->running);
  SurveyWindowClose(window);
  EXPECT_FALSE(SurveyWorkerExists(window.session));
  EXPECT_EQ(fake.endResult, 0);
  EXPECT_TRUE(Now()->ended && Now()->record.runs.empty());
}

// Save: nothing before a finished run or when the dialog is cancelled; the
// JSON has the headless tool's keys and levels for the same settings, an
// existing file is replaced whole and no temporary file stays.
TEST_F(SurveyWindowTest, SavedJsonMatchesTheHeadlessTool) {
  const std::string dir = ::testing::TempDir(), path = dir + "survey_window_test.json";
  std::remove(path.c_str()), std::remove((path + ".partial").c_str());
  fake.savePath = path;
  SurveyWindowCommand(window, kSurveySaveJson);
  EXPECT_FALSE(std::ifstream(path).good());
  SurveyWindowCommand(window, kSurveyStart);
  TickUntil([&] { return !Now()->running; });
  fake.savePath.clear();
  SurveyWindowCommand(window, kSurveySaveJson);
  EXPECT_FALSE(std::ifstream(path).good());
  std::ofstream(path) << "an older, longer file that must go entirely " << std::string(100000, 'x');
  fake.savePath = path;
  SurveyWindowCommand(window, kSurveySaveJson);
  EXPECT_TRUE(fake.errors.empty());
  EXPECT_FALSE(std::ifstream(path + ".partial").good());
  const nlohmann::json saved = nlohmann::json::parse(Slurp(path));

  const std::string cli = dir + "survey_window_cli.json";
  const std::string command = std::string(LORVANTA_SWEEP_TOOL) +
                              " --survey --max-size 64K --points-per-doubling 2 --min-time 20us --repeats 2 --json >" +
                              cli + " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const nlohmann::json expected = nlohmann::json::parse(Slurp(cli));
  // The same keys at every level of objects (arrays by their first element).
  std::function<std::string(const nlohmann::json&)> shape = [&](const nlohmann::json& value) -> std::string {
    if (value.is_object()) {
      std::string keys = "{";
      for (auto item = value.begin(); item != value.end(); ++item) keys += item.key() + ":" + shape(item.value()) + ",";
      return keys + "}";
    }
    if (value.is_array()) return value.empty() ? "[]" : "[" + shape(value.front()) + "]";
    return value.is_null() ? "null" : "v";
  };
  EXPECT_EQ(shape(saved["runs"]), shape(expected["runs"]));
  std::vector<std::string> savedKeys, expectedKeys;
  for (auto item = saved.begin(); item != saved.end(); ++item) savedKeys.push_back(item.key());
  for (auto item = expected.begin(); item != expected.end(); ++item) expectedKeys.push_back(item.key());
  EXPECT_EQ(savedKeys, expectedKeys);
  EXPECT_EQ(saved["settings"], expected["settings"]);
  ASSERT_EQ(saved["runs"].size(), 1u);
  std::string savedLevels, expectedLevels;
  for (const auto& level : saved["runs"][0]["levels"]) savedLevels += level["name"].dump();
  for (const auto& level : expected["runs"][0]["levels"]) expectedLevels += level["name"].dump();
  EXPECT_EQ(savedLevels, expectedLevels);
  EXPECT_NE(savedLevels, "");
}
