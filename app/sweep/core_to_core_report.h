// What the core-to-core mode prints and writes: the table a person reads
// (core_to_core_table.cpp), the JSON for programs (core_to_core_json.cpp)
// and a CSV row per ordered pair (core_to_core_csv.cpp), all from the
// measured matrix, the machine and the run's context.
#pragma once
#include <cstdint>
#include <string>

#include "app/sweep/machine_context.h"
#include "survey/core_to_core.h"
#include "survey/machine.h"

// Where the line of a pair travels, nearest first.
enum PairKind { SameCore, SameLastLevelCache, OtherLastLevelCache, OtherPackage, CacheSharingUnknown, kPairKindCount };
extern const char* const pairKindWords[kPairKindCount];
PairKind KindOfPair(const MatrixProcessor& a, const MatrixProcessor& b);

// What every figure is, said once: "one-way latency in ns: the median of 5
// samples of 10000 round trips each, ...".
std::string CoreToCoreRuleText(const PingPongRule& rule);

std::string FormatCoreToCoreText(const CoreToCoreMatrix& matrix, const SurveyMachine& machine,
                                 const RunContext& context, uint64_t elapsedMilliseconds);
std::string FormatCoreToCoreJson(const CoreToCoreMatrix& matrix, const SurveyMachine& machine,
                                 const RunContext& context, uint64_t elapsedMilliseconds);
std::string FormatCoreToCoreCsv(const CoreToCoreMatrix& matrix);
