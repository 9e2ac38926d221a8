#include "app/sweep/compare_read.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace {
using Json = nlohmann::ordered_json;

uint64_t Whole(const Json& value) { return value.is_number_unsigned() ? value.get<uint64_t>() : 0; }

// A figure as the survey writes it: null, or its rate with its passes.
CompareFigure FigureFrom(const Json& entry) {
  CompareFigure figure;
  if (entry.is_null()) return figure;
  figure.present = true;
  figure.rate = entry.at("bytes_per_second").get<uint64_t>();
  figure.kernel = entry.at("kernel").get<std::string>();
  const Json& passes = entry.at("passes");
  figure.passes = passes.at("count").get<uint32_t>();
  figure.lowest = passes.at("lowest_bytes_per_second").get<uint64_t>();
  figure.highest = passes.at("highest_bytes_per_second").get<uint64_t>();
  return figure;
}

CompareThreadRun RunFrom(const Json& entry) {
  CompareThreadRun run;
  run.threads = entry.at("threads").get<uint32_t>();
  for (const Json& level : entry.at("levels")) {
    const std::string name = level.at("name").get<std::string>();
    for (uint32_t index = 0; index < kCompareLevelCount; ++index) {
      if (name != compareLevelNames[index]) continue;
      for (uint32_t group = 0; group < kCompareGroupCount; ++group)
        if (level.contains(compareGroupWords[group]))
          run.figures[index][group] = FigureFrom(level.at(compareGroupWords[group]));
    }
  }
  const Json& curves = entry.at("curves");
  for (const Json& length : curves.at("lengths_bytes")) run.lengths.push_back(Whole(length));
  for (uint32_t group = 0; group < kCompareGroupCount; ++group) {
    for (const Json& rate : curves.at(compareGroupWords[group]).at("best_bytes_per_second"))
      run.bestRates[group].push_back(Whole(rate));
    run.bestRates[group].resize(run.lengths.size());
  }
  return run;
}

// The file's context and runs, from a document that is a saved survey of
// this schema; what is wrong, else empty.
std::string ContentProblem(const Json& document, CompareFile* file) {
  if (!document.is_object()) return "is JSON but no saved survey";
  if (!document.contains("mode") && document.contains("testAreaSize"))
    return "is the exact sweep's JSON (lorvanta-sweep --json); --compare reads saved surveys (--survey --json)";
  if (!document.contains("schema_version"))
    return "was written before results carried a schema version; run the survey again to compare it";
  const Json& version = document["schema_version"];
  if (!version.is_number_integer() || version.get<int64_t>() != kCompareSchemaVersion)
    return "has schema version " + version.dump() + "; this tool reads version " +
           std::to_string(kCompareSchemaVersion);
  if (!document.contains("mode") || document["mode"] != "survey")
    return "is no saved survey (its \"mode\" is not \"survey\")";
  try {
    const Json& label = document.at("label");
    const Json& processor = document.at("machine").at("processor");
    file->name = label.is_string() ? label.get<std::string>()
                 : processor.at("brand").is_string() ? processor.at("brand").get<std::string>() : "?";
    file->date = document.at("date_utc").get<std::string>();
    file->toolVersion = document.at("tool").at("version").get<std::string>();
    for (const Json& run : document.at("runs")) file->runs.push_back(RunFrom(run));
  } catch (const Json::exception& failure) {
    std::string what = failure.what();
    const size_t bracket = what.find("] ");
    return "lacks what a saved survey holds: " + (bracket == std::string::npos ? what : what.substr(bracket + 2));
  }
  if (file->runs.empty()) return "holds no runs";
  return std::string();
}
}  // namespace

bool ParseCompareText(const std::string& path, const std::string& text, CompareFile* file, std::string* error) {
  *file = CompareFile();
  file->path = path;
  Json document;
  try {
    document = Json::parse(text);
  } catch (const Json::parse_error& failure) {
    // An error at the text's end is a file cut short; anywhere else, no JSON.
    const bool atEnd = failure.byte >= text.size() && text.find_first_not_of(" \t\r\n") != std::string::npos;
    *error = path + (atEnd ? ": the JSON ends early (a truncated file?)"
                           : ": is not JSON (error at byte " + std::to_string(failure.byte) + ")");
    return false;
  }
  const std::string problem = ContentProblem(document, file);
  if (problem.empty()) return true;
  *error = path + ": " + problem;
  return false;
}

bool ReadCompareFile(const std::string& path, CompareFile* file, std::string* error) {
  std::ifstream stream(path, std::ios::binary);
  std::string text;
  try {
    if (stream) text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {  // a directory fails in the read, not in the open
    stream.setstate(std::ios::failbit);
  }
  if (!stream || text.empty()) {
    *error = path + (stream ? ": is empty or cannot be read" : ": cannot be read");
    return false;
  }
  return ParseCompareText(path, text, file, error);
}
