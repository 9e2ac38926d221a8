// The machine's context from Windows: the version from RtlGetVersion (which,
// unlike GetVersionEx, is not capped at the version the program declares),
// the memory, the NUMA nodes.
#include <windows.h>

#include <string>

#include "platform/survey/system_context.h"

namespace {
using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);

// "Windows 10.0.19045", or "" where ntdll does not answer.
std::string WindowsVersionText() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  FARPROC address = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
  if (address == nullptr) return "";
  const auto call = reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void*>(address));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (call(&version) != 0) return "";
  return "Windows " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
         std::to_string(version.dwBuildNumber);
}
}  // namespace

SystemContext ReadSystemContext() {
  SystemContext context;
  context.os = WindowsVersionText();
  if (context.os.empty()) context.osWhy = "RtlGetVersion did not answer";
  context.kernelReleaseWhy = "Windows has no kernel release apart from its version";
  context.microcodeWhy = "Windows does not report it";
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory)) context.memoryBytes = memory.ullTotalPhys;
  else context.memoryWhy = "GlobalMemoryStatusEx failed";
  ULONG highestNode = 0;
  if (GetNumaHighestNodeNumber(&highestNode)) context.numaNodes = static_cast<uint32_t>(highestNode) + 1;
  else context.numaNodesWhy = "GetNumaHighestNodeNumber failed";
  context.transparentHugePagesWhy = "Windows has no transparent huge pages";
  context.frequencyGovernorWhy = "Windows has power plans, no frequency governor";
  return context;
}
