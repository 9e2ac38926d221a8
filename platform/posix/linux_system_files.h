// Linux system files the survey reads, parsed from their text so that tests
// can feed recorded contents: the process's cgroup v2 path and the memory its
// cgroups still allow, the transparent huge pages mode, and the machine's
// context recorded with every survey.
#pragma once
#include <cstdint>
#include <string>

// The path of the "0::" line of /proc/self/cgroup ("/user.slice/x.scope");
// "" where the process is in no cgroup v2 hierarchy.
std::string CgroupV2Path(const std::string& procSelfCgroup);
// The parent of a cgroup path ("/a/b" -> "/a", "/a" -> "/"); "" for the root.
std::string CgroupParentPath(const std::string& path);
// What a cgroup still allows: its memory.max less its memory.current, 0 once
// the limit is reached; UINT64_MAX where memory.max says "max" or holds no
// number. A current that holds no number counts as 0.
uint64_t CgroupMemoryRoom(const std::string& memoryMax, const std::string& memoryCurrent);
// The bracketed word of /sys/kernel/mm/transparent_hugepage/enabled
// ("always [madvise] never" -> "madvise"); "" where there is none.
std::string TransparentHugePageModeOf(const std::string& enabledText);

// The value of the first "microcode" line of /proc/cpuinfo ("0xa0011d5");
// "" where there is none (virtual machines often omit it).
std::string MicrocodeOf(const std::string& cpuinfoText);
// MemTotal of /proc/meminfo in bytes; 0 where there is none.
uint64_t MemoryTotalBytesOf(const std::string& meminfoText);
// PRETTY_NAME of /etc/os-release, without its quotes; "" where there is none.
std::string PrettyNameOf(const std::string& osReleaseText);
// The first line of a one-word sysfs file without surrounding white space
// ("performance\n" -> "performance").
std::string FirstWordOf(const std::string& text);
// How many numbers a sysfs list names ("0-3,8" -> 5, as in
// /sys/devices/system/node/online); 0 where the text is no such list.
uint32_t CountInSysfsList(const std::string& listText);
