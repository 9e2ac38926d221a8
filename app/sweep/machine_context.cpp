#include "app/sweep/machine_context.h"

#include <cstdio>

#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"
#include "app/tool_version.h"

namespace {
using Json = nlohmann::ordered_json;

// Text for one line of the head: control characters escaped ("\\n", "\\t",
// "\\x1b"), everything else as given.
std::string OneLineText(const std::string& text) {
  std::string line;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n') line += "\\n";
    else if (c == '\t') line += "\\t";
    else if (c == '\r') line += "\\r";
    else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      line += escaped;
    } else {
      line += c;
    }
  }
  return line;
}

// The machine's facts, with the reason for each one the system does not give.
Json MachineJson(const SurveyMachine& machine) {
  Json reasons = Json::object();
  auto text = [&reasons](const char* name, const std::string& value, const std::string& why) {
    if (!value.empty()) return Json(value);
    reasons[name] = why;
    return Json();
  };
  auto count = [&reasons](const char* name, uint64_t value, const std::string& why) {
    if (value != 0) return Json(value);
    reasons[name] = why;
    return Json();
  };
  const SystemContext& system = machine.system;
  const ProcessorIdentity& identity = machine.identity;
  const uint32_t logical = static_cast<uint32_t>(machine.layout.processors.size());
  Json document = {
      {"os", text("os", system.os, system.osWhy)},
      {"kernel_release", text("kernel_release", system.kernelRelease, system.kernelReleaseWhy)},
      {"processor", {{"vendor", identity.vendor},
                     {"brand", text("brand", identity.brand, machine.brandWhy)},
                     {"family", identity.family},
                     {"model", identity.model},
                     {"stepping", identity.stepping},
                     {"microcode", text("microcode", system.microcode, system.microcodeWhy)}}},
      {"hypervisor", text("hypervisor", identity.hypervisor, machine.hypervisorWhy)},
      {"logical_processors", logical},
      {"cores", machine.cores},
      {"smt", logical > machine.cores},
      {"numa_nodes", count("numa_nodes", system.numaNodes, system.numaNodesWhy)},
      {"memory_bytes", count("memory_bytes", system.memoryBytes, system.memoryWhy)},
      {"transparent_huge_pages",
       text("transparent_huge_pages", system.transparentHugePages, system.transparentHugePagesWhy)},
      {"frequency_governor", text("frequency_governor", system.frequencyGovernor, system.frequencyGovernorWhy)}};
  document["null_reasons"] = reasons;
  return document;
}

// A fact, or "unknown (why)".
std::string Known(const std::string& value, const std::string& why) {
  return value.empty() ? "unknown (" + why + ")" : value;
}
}  // namespace

std::string ContextHead(const SurveyMachine& machine, const RunContext& facts) {
  const SystemContext& system = machine.system;
  const ProcessorIdentity& identity = machine.identity;
  const uint32_t logical = static_cast<uint32_t>(machine.layout.processors.size());
  std::string text = std::string("tool: lorvanta-sweep ") + toolVersion + "\n";
  text += "date (UTC): " + facts.dateUtc + "\n";
  if (facts.labelGiven) text += "label: " + OneLineText(facts.label) + "\n";
  text += "os: " + Known(system.os, system.osWhy) + "; kernel: " + Known(system.kernelRelease, system.kernelReleaseWhy) + "\n";
  text += "processor: " + Known(identity.brand, machine.brandWhy) + "\n";
  text += "family " + std::to_string(identity.family) + ", model " + std::to_string(identity.model) + ", stepping " +
          std::to_string(identity.stepping) + "\n";
  text += "microcode: " + Known(system.microcode, system.microcodeWhy) + "\n";
  text += "hypervisor: " + (identity.hypervisor.empty() ? "none (" + machine.hypervisorWhy + ")" : identity.hypervisor) + "\n";
  text += "processors: " + std::to_string(logical) + " logical, " + std::to_string(machine.cores) +
          (machine.cores == 1 ? " core, " : " cores, ") + (logical > machine.cores ? "SMT" : "no SMT") + "\n";
  text += "NUMA nodes: " + Known(system.numaNodes != 0 ? std::to_string(system.numaNodes) : "", system.numaNodesWhy) + "\n";
  text += "memory: " + Known(system.memoryBytes != 0 ? ByteSizeText(system.memoryBytes) : "", system.memoryWhy) + "\n";
  text += "transparent huge pages: " + Known(system.transparentHugePages, system.transparentHugePagesWhy) + "\n";
  return text + "frequency governor: " + Known(system.frequencyGovernor, system.frequencyGovernorWhy) + "\n";
}


Json ContextJson(const char* mode, const SurveyMachine& machine, const RunContext& context) {
  return {{"schema_version", 1},
          {"mode", mode},
          {"label", context.labelGiven ? Json(context.label) : Json()},
          {"tool", {{"name", "lorvanta-sweep"}, {"version", toolVersion}}},
          {"date_utc", context.dateUtc},
          {"machine", MachineJson(machine)}};
}
