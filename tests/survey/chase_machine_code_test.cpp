// The chase as built, read back with objdump: each loop of ChaseLoads is a
// chain of `mov (%X),%X` through one register, then one sub of 1 from another
// register and a jne back to the head. There are two such loops, the single
// loads (one load) and the rounds (eight loads, head 16-byte aligned), and no
// other memory access but the stack arguments of i686.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Instruction {
  uint64_t address;
  std::string mnemonic, operands;
};

std::vector<Instruction> ChaseLoadsCode(const std::string& objdump, const std::string& file) {
  std::string text;
  if (FILE* pipe = popen(("'" + objdump + "' -d --no-show-raw-insn '" + file + "' 2>&1").c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    pclose(pipe);
  }
  static const std::regex function(R"(^[0-9a-f]+ <(_?)([^>]+)>:$)");
  static const std::regex instruction(R"(^\s*([0-9a-f]+):\s+(\S+)\s*(.*?)(\s+<.*>)?\s*$)");
  std::vector<Instruction> code;
  bool inside = false;
  std::istringstream lines(text);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, m, function)) inside = m[2] == "ChaseLoads";
    else if (inside && std::regex_match(line, m, instruction))
      code.push_back({std::stoull(m[1], nullptr, 16), m[2], m[3]});
  }
  return code;
}

struct Target {
  const char* label;
  const char* objdump;
  const char* file;
};
void PrintTo(const Target& target, std::ostream* out) { *out << target.label; }

class ChaseMachineCode : public testing::TestWithParam<Target> {};

TEST_P(ChaseMachineCode, EveryLoopIsAChainOfDependentLoads) {
  const Target& t = GetParam();
  if (!*t.file) GTEST_SKIP() << "no toolchain for " << t.label << " in this build";
  const std::vector<Instruction> code = ChaseLoadsCode(t.objdump, t.file);
  ASSERT_FALSE(code.empty()) << "ChaseLoads not found in " << t.file;

  static const std::regex load(R"(^\((%e?r?ax)\),(%e?r?ax)$)");
  static const std::regex decrement(R"(^\$0x1,(%[a-z0-9]+)$)");
  std::vector<size_t> loopLoads;
  std::vector<size_t> chainLoads;  // indices of the loads inside loops
  for (size_t j = 0; j < code.size(); ++j) {
    if (code[j].mnemonic != "jne") continue;
    const uint64_t head = std::stoull(code[j].operands, nullptr, 16);
    if (head > code[j].address) continue;
    SCOPED_TRACE("loop at 0x" + code[j].operands);
    size_t first = 0;
    while (first < j && code[first].address != head) ++first;
    ASSERT_LT(first + 1, j) << "loop head is not an instruction start, or the loop is empty";
    std::smatch m;
    for (size_t i = first; i + 1 < j; ++i) {
      ASSERT_EQ(code[i].mnemonic, "mov") << code[i].operands;
      ASSERT_TRUE(std::regex_match(code[i].operands, m, load) && m[1] == m[2]) << code[i].operands;
      chainLoads.push_back(i);
    }
    ASSERT_EQ(code[j - 1].mnemonic, "sub");
    ASSERT_TRUE(std::regex_match(code[j - 1].operands, m, decrement)) << code[j - 1].operands;
    EXPECT_EQ(m[1].str().find("ax"), std::string::npos) << "the count shares the pointer register";
    EXPECT_TRUE(j - 1 - first != 8 || head % 16 == 0) << "rounds loop head at 0x" << code[j].operands;
    loopLoads.push_back(j - 1 - first);
  }
  std::sort(loopLoads.begin(), loopLoads.end());
  EXPECT_EQ(loopLoads, (std::vector<size_t>{1, 8}));

  for (size_t i = 0; i < code.size(); ++i) {
    // Alignment padding (nop, lea) names memory operands without touching memory.
    const bool padding = code[i].mnemonic == "lea" || code[i].mnemonic.compare(0, 3, "nop") == 0;
    const bool memory = !padding && code[i].operands.find('(') != std::string::npos;
    const bool chain = std::find(chainLoads.begin(), chainLoads.end(), i) != chainLoads.end();
    EXPECT_TRUE(!memory || chain || code[i].operands.find("(%esp)") != std::string::npos) << code[i].operands;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, ChaseMachineCode,
                         testing::Values(Target{"native", LORVANTA_OBJDUMP, LORVANTA_CHASE_NATIVE},
                                         Target{"mingw32", LORVANTA_CHASE_i686_OBJDUMP, LORVANTA_CHASE_i686},
                                         Target{"mingw64", LORVANTA_CHASE_x86_64_OBJDUMP, LORVANTA_CHASE_x86_64}),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.label); });

}  // namespace
