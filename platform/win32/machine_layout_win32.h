// Reading the machine layout from GetLogicalProcessorInformationEx's answer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/survey/processors.h"

// Fills layout from the records of GetLogicalProcessorInformationEx(RelationAll)
// as the system lays them out for this build (KAFFINITY as wide as a pointer):
// cores and packages with their group masks, and every data and unified
// cache. A processor's number is group * 64 + bit. False when a record runs
// past the buffer or no core is named.
bool MachineLayoutFromProcessorInformation(const void* bytes, size_t size, MachineLayout* layout);
// Keeps only the allowed processors (OS numbers) and the caches serving one
// of them; core and package indices are renumbered 0, 1, ...
void RestrictMachineLayout(MachineLayout* layout, const std::vector<uint32_t>& allowed);
