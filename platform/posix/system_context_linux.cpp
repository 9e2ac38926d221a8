// The machine's context from Linux's files and uname.
#include <sys/utsname.h>

#include <fstream>
#include <sstream>

#include "platform/posix/linux_system_files.h"
#include "platform/survey/memory.h"
#include "platform/survey/system_context.h"

namespace {
// A whole file's text; false where it cannot be read.
bool ReadText(const char* path, std::string* text) {
  std::ifstream file(path);
  if (!file) return false;
  std::ostringstream contents;
  contents << file.rdbuf();
  *text = contents.str();
  return true;
}
}  // namespace

SystemContext ReadSystemContext() {
  SystemContext context;
  std::string text;
  // /etc/os-release, or /usr/lib/os-release where /etc has none.
  if (ReadText("/etc/os-release", &text) || ReadText("/usr/lib/os-release", &text)) context.os = PrettyNameOf(text);
  if (context.os.empty()) context.osWhy = "no PRETTY_NAME in /etc/os-release";
  utsname names{};
  if (uname(&names) == 0) context.kernelRelease = names.release;
  else context.kernelReleaseWhy = "uname failed";
  if (ReadText("/proc/cpuinfo", &text)) context.microcode = MicrocodeOf(text);
  if (context.microcode.empty()) context.microcodeWhy = "/proc/cpuinfo has no microcode line, usual in virtual machines";
  if (ReadText("/proc/meminfo", &text)) context.memoryBytes = MemoryTotalBytesOf(text);
  if (context.memoryBytes == 0) context.memoryWhy = "no MemTotal in /proc/meminfo";
  if (ReadText("/sys/devices/system/node/online", &text)) context.numaNodes = CountInSysfsList(text);
  if (context.numaNodes == 0) context.numaNodesWhy = "no list in /sys/devices/system/node/online: a kernel without NUMA";
  context.transparentHugePages = TransparentHugePageMode();
  if (context.transparentHugePages.empty())
    context.transparentHugePagesWhy = "no mode in /sys/kernel/mm/transparent_hugepage/enabled";
  if (ReadText("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor", &text))
    context.frequencyGovernor = FirstWordOf(text);
  if (context.frequencyGovernor.empty())
    context.frequencyGovernorWhy = "no cpufreq governor for processor 0: no frequency driver, usual in virtual machines";
  return context;
}
