// The context every result of the headless tool's modes carries: the tool,
// the moment, the user's label, the system and the processor. Written once
// here for the table's head and the JSON, used by the survey and the
// core-to-core matrix alike.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

#include "survey/machine.h"

struct RunContext {
  std::string label;    // --label as given; no label where labelGiven is false
  bool labelGiven = false;
  std::string dateUtc;  // when the run started, "2026-12-07T12:34:56Z"
};

// The head's context lines: tool, date, label, system, processor, one fact a
// line, each the system does not give as "unknown (why)".
std::string ContextHead(const SurveyMachine& machine, const RunContext& context);

// The JSON's first keys: schema_version, mode, label, tool, date_utc and
// machine; each machine fact the system does not give is null, and
// machine.null_reasons says why under the fact's name.
nlohmann::ordered_json ContextJson(const char* mode, const SurveyMachine& machine, const RunContext& context);
