// The machine's context as this system gives it: every fact is there or says
// why not, never both and never neither.
#include "platform/survey/system_context.h"

#include <gtest/gtest.h>

TEST(SystemContext, EachFactIsGivenOrSaysWhyNot) {
  const SystemContext c = ReadSystemContext();
  const struct { const char* name; bool given; const std::string& why; } facts[] = {
      {"os", !c.os.empty(), c.osWhy},
      {"kernel release", !c.kernelRelease.empty(), c.kernelReleaseWhy},
      {"microcode", !c.microcode.empty(), c.microcodeWhy},
      {"memory", c.memoryBytes != 0, c.memoryWhy},
      {"NUMA nodes", c.numaNodes != 0, c.numaNodesWhy},
      {"transparent huge pages", !c.transparentHugePages.empty(), c.transparentHugePagesWhy},
      {"frequency governor", !c.frequencyGovernor.empty(), c.frequencyGovernorWhy}};
  for (const auto& fact : facts) EXPECT_EQ(fact.given, fact.why.empty()) << fact.name << ": " << fact.why;
}
