// The Linux system files the survey reads, from recorded contents: the cgroup
// v2 path, its ancestors, the memory a cgroup still allows, and the
// transparent huge pages mode, and the machine's context: microcode, total
// memory, the system's name, the frequency governor and the NUMA nodes.
#include "platform/posix/linux_system_files.h"

#include <gtest/gtest.h>

#include <vector>

TEST(LinuxSystemFiles, CgroupPathAndItsAncestors) {
  const struct { const char* procSelfCgroup; const char* path; } rows[] = {
      {"0::/user.slice/user-1000.slice/x.scope\n", "/user.slice/user-1000.slice/x.scope"},
      {"12:memory:/docker/abc\n1:name=systemd:/x\n0::/\n", "/"},  // hybrid: v1 lines before the v2 one
      {"4:memory:/docker/abc\n1:cpu:/\n", ""},                    // v1 only
      {"1:cpu:/\n0::/last", "/last"},                             // no final newline
      {"10::/not-v2\n", ""},
      {"", ""}};
  for (const auto& row : rows) EXPECT_EQ(CgroupV2Path(row.procSelfCgroup), row.path) << row.procSelfCgroup;

  std::vector<std::string> walk;
  for (std::string path = "/a.slice/b/c.scope"; !path.empty(); path = CgroupParentPath(path)) walk.push_back(path);
  EXPECT_EQ(walk, (std::vector<std::string>{"/a.slice/b/c.scope", "/a.slice/b", "/a.slice", "/"}));
}

TEST(LinuxSystemFiles, CgroupRoomIsTheLimitLessTheUse) {
  const struct { const char* max; const char* current; uint64_t room; } rows[] = {
      {"536870912\n", "104857600\n", 432013312},
      {"536870912\n", "600000000\n", 0},  // over the limit for a moment
      {"536870912\n", "", 536870912},     // use unknown
      {"max\n", "104857600\n", UINT64_MAX},
      {"", "1\n", UINT64_MAX},
      {"5368x\n", "1\n", UINT64_MAX},
      {"99999999999999999999999\n", "1\n", UINT64_MAX}};
  for (const auto& row : rows) EXPECT_EQ(CgroupMemoryRoom(row.max, row.current), row.room) << row.max << row.current;
}

TEST(LinuxSystemFiles, TransparentHugePageModeIsTheBracketedWord) {
  const struct { const char* enabled; const char* mode; } rows[] = {
      {"always [madvise] never\n", "madvise"},
      {"[always] madvise never\n", "always"},
      {"always madvise [never]\n", "never"},
      {"always madvise never\n", ""},
      {"always [madvise", ""},
      {"", ""}};
  for (const auto& row : rows) EXPECT_EQ(TransparentHugePageModeOf(row.enabled), row.mode) << row.enabled;
}

TEST(LinuxSystemFiles, ContextFactsFromRecordedFiles) {
  const std::string cpuinfo =
      "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 1\nmodel name\t: AMD EPYC 7B13 64-Core "
      "Processor\nstepping\t: 0\nmicrocode\t: 0xa0011d5\ncpu MHz\t\t: 2449.998\n\nprocessor\t: 1\nmicrocode\t: 0xa0011d6\n";
  const struct { std::string got, expected; } rows[] = {
      {MicrocodeOf(cpuinfo), "0xa0011d5"},  // the first processor's
      {MicrocodeOf("processor\t: 0\nmodel name\t: AMD EPYC\nmicrocode_x\t: 1\n"), ""},
      {std::to_string(MemoryTotalBytesOf("MemTotal:       24609376 kB\nMemFree:         1 kB\n")), "25200001024"},
      {std::to_string(MemoryTotalBytesOf("MemFree:         1 kB\n")), "0"},
      {PrettyNameOf("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
       "Debian GNU/Linux 12 (bookworm)"},
      {PrettyNameOf("ID=alpine\nPRETTY_NAME='Alpine Linux v3.19'"), "Alpine Linux v3.19"},
      {PrettyNameOf("NAME=Arch\n"), ""},
      {FirstWordOf("performance\n"), "performance"},
      {FirstWordOf(""), ""},
      {std::to_string(CountInSysfsList("0\n")), "1"},
      {std::to_string(CountInSysfsList("0-3,8\n")), "5"},
      {std::to_string(CountInSysfsList("3-1\n")), "0"},
      {std::to_string(CountInSysfsList("")), "0"}};
  for (const auto& row : rows) EXPECT_EQ(row.got, row.expected);
}
