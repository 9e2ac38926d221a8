// Linux system files the survey reads, parsed from their text so that tests
// can feed recorded contents: the process's cgroup v2 path and the memory its
// cgroups still allow, and the transparent huge pages mode.
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
