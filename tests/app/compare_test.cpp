// --compare on a recorded survey and variants derived from it: which
// differences count as real, the ratios, and how runs with different thread
// counts are matched.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>

#include "app/sweep/compare_read.h"
#include "app/sweep/compare_report.h"

namespace {
using Json = nlohmann::ordered_json;

Json Recorded() {
  std::ifstream stream(LORVANTA_COMPARE_DATA "/survey_sse2.json");
  return Json::parse(std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()));
}

// The document with fn applied to every figure's (rate, lowest, highest, passes).
Json EveryFigure(Json document, const std::function<void(uint64_t*, uint64_t*, uint64_t*, uint32_t*)>& fn) {
  for (Json& run : document["runs"])
    for (Json& level : run["levels"])
      for (const char* group : {"read", "write", "copy"}) {
        Json& figure = level[group];
        if (figure.is_null()) continue;
        uint64_t rate = figure["bytes_per_second"], low = figure["passes"]["lowest_bytes_per_second"],
                 high = figure["passes"]["highest_bytes_per_second"];
        uint32_t passes = figure["passes"]["count"];
        fn(&rate, &low, &high, &passes);
        figure["bytes_per_second"] = rate;
        figure["passes"] = {{"count", passes}, {"lowest_bytes_per_second", low}, {"highest_bytes_per_second", high}};
      }
  return document;
}

CompareFile Read(const Json& document, const char* path) {
  CompareFile file;
  std::string error;
  EXPECT_TRUE(ParseCompareText(path, document.dump(), &file, &error)) << error;
  return file;
}

uint64_t Scaled(uint64_t value, double factor) { return static_cast<uint64_t>(static_cast<double>(value) * factor); }
}  // namespace

TEST(Compare, OnlyRangesApartOverMorePassesAreRealAndRatiosAreToTheFirst) {
  const Json recorded = Recorded();
  // Passes within 15% of the best, so that 8% lower still overlaps.
  const Json wide = EveryFigure(recorded, [](uint64_t* rate, uint64_t* low, uint64_t*, uint32_t*) {
    *low = Scaled(*rate, 0.85);
  });
  const auto lower = [](double factor) {
    return [factor](uint64_t* rate, uint64_t* low, uint64_t* high, uint32_t*) {
      *rate = Scaled(*rate, factor), *low = Scaled(*low, factor), *high = Scaled(*high, factor);
    };
  };
  // Best and whole range 20% below the recorded lowest pass.
  const auto below = [](uint64_t* rate, uint64_t* low, uint64_t* high, uint32_t*) {
    *rate = *high = Scaled(*low, 0.8), *low = Scaled(*low, 0.7);
  };
  const auto onePass = [&](uint64_t* rate, uint64_t* low, uint64_t* high, uint32_t* passes) {
    below(rate, low, high, passes), *passes = 1;
  };
  struct Case {
    const char* what;
    Json base, other;
    bool real, singlePass;
    double ratioAtMost, ratioAtLeast;
  } cases[] = {
      {"identical", recorded, recorded, false, false, 1.0, 1.0},
      {"8% lower, ranges overlapping", wide, EveryFigure(wide, lower(0.92)), false, false, 0.921, 0.919},
      {"below the lowest pass", recorded, EveryFigure(recorded, below), true, false, 0.8, 0.3},
      {"below, but one pass", recorded, EveryFigure(recorded, onePass), false, true, 0.8, 0.3},
  };
  for (const Case& c : cases) {
    const std::vector<CompareFile> files = {Read(c.base, "a.json"), Read(c.other, "b.json")};
    const Comparison comparison = CompareFiles(files);
    ASSERT_EQ(comparison.rows.size(), 9u) << c.what;  // L1, L2, L3 by read, write, copy; no memory figure
    EXPECT_EQ(comparison.singlePass, c.singlePass) << c.what;
    EXPECT_EQ(comparison.pictureThreads, 1u) << c.what;
    for (const CompareRow& row : comparison.rows) {
      EXPECT_EQ(row.cells[1].real, c.real) << c.what << " " << compareLevelNames[row.level] << " " << row.group;
      EXPECT_TRUE(row.cells[1].ratio <= c.ratioAtMost && row.cells[1].ratio >= c.ratioAtLeast)
          << c.what << " " << row.cells[1].ratio;
    }
    const std::string text = FormatCompareText(files, comparison);
    EXPECT_EQ(text.find(" *\n") != std::string::npos, c.real) << text;
    const Json json = Json::parse(FormatCompareJson(files, comparison));
    EXPECT_EQ(json["figures"][0]["runs"][1]["real"], c.real) << c.what;
  }
}

TEST(Compare, ThreadCountsMatchCountByCountAndOneSidedCountsAreSaidOnce) {
  Json recorded = Recorded(), twoThreads = recorded, both = recorded;
  twoThreads["runs"][0]["threads"] = 2;
  both["runs"].push_back(twoThreads["runs"][0]);
  // A: 1 thread; B: 2 threads; C: 1 and 2 threads.
  const std::vector<CompareFile> files = {Read(recorded, "a.json"), Read(twoThreads, "b.json"), Read(both, "c.json")};
  const Comparison comparison = CompareFiles(files);
  ASSERT_EQ(comparison.rows.size(), 9u);  // only 1 thread: the first file has no 2
  for (const CompareRow& row : comparison.rows) {
    EXPECT_EQ(row.threads, 1u);
    EXPECT_FALSE(row.cells[1].figure.present);
    EXPECT_TRUE(row.cells[2].figure.present);
  }
  EXPECT_EQ(comparison.unmatched, (std::vector<std::string>{"1 thread: only in A, C; compared where present",
                                                            "2 threads: only in B, C; not compared"}));
  EXPECT_EQ(comparison.pictureThreads, 0u);
  const std::string text = FormatCompareText(files, comparison);
  EXPECT_NE(text.find("\nL1      read        22.02      8%           -               -         22.02      8%   1.00x\n"),
            std::string::npos) << text;
}

TEST(Compare, EachBadFileIsRefusedWithOneLineNamingIt) {
  const Json recorded = Recorded();
  Json old = recorded, newer = recorded, noRuns = recorded, other = recorded;
  old.erase("schema_version");
  newer["schema_version"] = 2;
  noRuns["runs"] = Json::array();
  other["runs"][0]["levels"][0]["read"]["passes"].erase("count");
  const std::string text = recorded.dump();
  const struct {
    std::string text, error;
  } cases[] = {
      {"hello", "x.json: is not JSON"},
      {text.substr(0, text.size() / 2), "x.json: the JSON ends early"},
      {R"({"testAreaSize": 2097152, "bytesPerSecond": []})", "x.json: is the exact sweep's JSON"},
      {old.dump(), "x.json: was written before results carried a schema version"},
      {newer.dump(), "x.json: has schema version 2; this tool reads version 1"},
      {noRuns.dump(), "x.json: holds no runs"},
      {other.dump(), "x.json: lacks what a saved survey holds: key 'count' not found"},
  };
  for (const auto& c : cases) {
    CompareFile file;
    std::string error;
    EXPECT_FALSE(ParseCompareText("x.json", c.text, &file, &error)) << c.error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}
