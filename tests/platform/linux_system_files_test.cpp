// The Linux system files the survey reads, from recorded contents: the cgroup
// v2 path, its ancestors, the memory a cgroup still allows, and the
// transparent huge pages mode.
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
