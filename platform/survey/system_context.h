// What the operating system tells of itself and the machine, recorded with
// every survey: the system's name and kernel, the processor's microcode, the
// memory, the NUMA nodes, the transparent huge pages mode and the frequency
// governor. A fact the system does not give is empty (or 0) and its reason
// says why, in words that follow "unknown (".
#pragma once
#include <cstdint>
#include <string>

struct SystemContext {
  std::string os;  // "Debian GNU/Linux 12 (bookworm)", "Windows 10.0.19045"
  std::string osWhy;
  std::string kernelRelease;  // uname's release ("6.1.0-28-amd64")
  std::string kernelReleaseWhy;
  std::string microcode;  // "0xa0011d5"
  std::string microcodeWhy;
  uint64_t memoryBytes = 0;  // installed memory the system manages
  std::string memoryWhy;
  uint32_t numaNodes = 0;
  std::string numaNodesWhy;
  std::string transparentHugePages;  // "always", "madvise", "never"
  std::string transparentHugePagesWhy;
  std::string frequencyGovernor;  // "performance", "schedutil", ...
  std::string frequencyGovernorWhy;
};

// Reads the facts from the system (files under /proc, /sys and /etc on
// Linux; the version, memory and NUMA calls on Windows).
SystemContext ReadSystemContext();
