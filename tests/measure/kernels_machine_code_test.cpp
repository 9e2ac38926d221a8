// The machine code of the built kernels, read back with objdump: every loop
// body must be exactly the instruction sequence below (mnemonic, register,
// base pointer, offset, in order), followed by the pointer advance, one sub
// of the count and one jnz back to a 16-byte aligned loop head, and then the
// closing instruction. Whatever the assembler or a later edit changes in a
// loop shows up here.
//
// The wide kernels are checked the same way; their string routines, which
// have no loop, must be the one rep instruction with its count taken as a
// 32-bit value.
//
// The objects and disassemblers come from the build (compile definitions):
// the native kernel libraries, kernels.S assembled for 32-bit and 64-bit
// MinGW, and kernels_wide.S assembled for 64-bit MinGW.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ------------------------------------------------------------ expected loops

// One instruction of a loop body. base 'p' is the (first) pointer, 'q' the
// destination of a copy; reg is the register operand ("%mm3", "$0x0"), or
// "r32" for any 32-bit general register, or empty for a prefetch.
struct Access {
  std::string mnemonic;
  std::string reg;
  char base;
  long offset;
  bool store;
};
using Body = std::vector<Access>;

Body operator+(Body a, const Body& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// "count × mnemonic at first–first+(count-1)·width" with registers kind0 ...
Body Many(int count, bool store, const char* mnemonic, const char* kind, char base, long first, long width) {
  Body body;
  for (int k = 0; k < count; ++k)
    body.push_back({mnemonic, "%" + std::string(kind) + std::to_string(k), base, first + k * width, store});
  return body;
}
Body Loads(const char* mnemonic, const char* kind, long first, long width, int count = 8) {
  return Many(count, false, mnemonic, kind, 'p', first, width);
}
Body Stores(const char* mnemonic, const char* kind, char base, long first, long width, int count = 8) {
  return Many(count, true, mnemonic, kind, base, first, width);
}
// Register k loaded from p+width·k and stored to q+width·k right after.
Body LoadStorePairs(const char* load, const char* store, const char* kind = "xmm", long width = 16, int count = 8) {
  Body body;
  for (int k = 0; k < count; ++k) {
    std::string reg = "%" + std::string(kind) + std::to_string(k);
    body.push_back({load, reg, 'p', width * k, false});
    body.push_back({store, reg, 'q', width * k, true});
  }
  return body;
}
Body Prefetches(const char* mnemonic, std::vector<long> offsets) {
  Body body;
  for (long offset : offsets) body.push_back({mnemonic, "", 'p', offset, false});
  return body;
}
Body One(bool store, const char* mnemonic, const char* reg) { return {{mnemonic, reg, 'p', 0, store}}; }

struct Loop {
  const char* name;
  bool copy;         // two pointers
  long advance;      // added to each pointer per iteration
  long decrement;    // subtracted from the count per iteration
  Body body;
  const char* closing;  // mnemonics after the loop, space-separated; nullptr: none
};

const std::vector<Loop>& ExpectedLoops() {
  static const std::vector<Loop> loops = {
      {"ReadMmx", false, 128, 128, Loads("movq", "mm", 0, 8) + Loads("movq", "mm", 64, 8), "emms"},
      {"ReadMmxPrefetch", false, 64, 64, Prefetches("prefetchnta", {64, 128, 192}) + Loads("movq", "mm", 0, 8), "emms"},
      {"ReadSse", false, 16, 16, One(false, "movaps", "%xmm0"), "sfence"},
      {"ReadSsePrefetch", false, 128, 128,
       Prefetches("prefetchnta", {64, 128, 192}) + Loads("movaps", "xmm", 0, 16), "sfence"},
      {"ReadSse2", false, 16, 16, One(false, "movdqa", "%xmm0"), "mfence"},
      {"ReadSse2Prefetch", false, 16, 16, Prefetches("prefetchnta", {256, 384}) + One(false, "movdqa", "%xmm0"),
       "mfence"},
      {"WriteMmx", false, 64, 64, Stores("movq", "mm", 'p', 0, 8), "emms"},
      {"WriteMmxNonTemporal", false, 64, 64, Stores("movntq", "mm", 'p', 0, 8), "emms"},
      {"WriteSse", false, 128, 128, Stores("movaps", "xmm", 'p', 0, 16), "sfence"},
      {"WriteSseNonTemporal", false, 128, 128, Stores("movntps", "xmm", 'p', 0, 16), "sfence"},
      {"WriteSse2", false, 128, 128, Stores("movdqa", "xmm", 'p', 0, 16), "sfence"},
      {"WriteSse2NonTemporal", false, 128, 128, Stores("movntdq", "xmm", 'p', 0, 16), "sfence"},
      {"CopyMmx", true, 128, 128,
       Loads("movq", "mm", 0, 8) + Stores("movq", "mm", 'q', 0, 8) + Loads("movq", "mm", 64, 8) +
           Stores("movq", "mm", 'q', 64, 8),
       "emms"},
      {"CopyMmxNonTemporal", true, 128, 128,
       Prefetches("prefetcht0", {0, 64}) + Loads("movq", "mm", 0, 8) + Stores("movntq", "mm", 'q', 0, 8) +
           Loads("movq", "mm", 64, 8) + Stores("movntq", "mm", 'q', 64, 8),
       "emms"},
      {"CopySseNonTemporal", true, 128, 128, Prefetches("prefetcht0", {0, 64}) + LoadStorePairs("movaps", "movntps"),
       "sfence"},
      {"CopySse2", true, 128, 128, LoadStorePairs("movdqa", "movdqa"), "sfence"},
      {"WarmCache", false, 8, 1, Prefetches("prefetcht0", {16, 24, 32, 48}) + One(false, "mov", "r32"), nullptr},
      {"TouchBuffer", false, 8, 1, One(true, "movb", "$0x0"), nullptr},
  };
  return loops;
}

// kernels_wide.S: four ymm registers per 128 bytes, four zmm per 256.
const std::vector<Loop>& ExpectedWideLoops() {
  static const std::vector<Loop> loops = {
      {"ReadAvx", false, 128, 128, Loads("vmovdqa", "ymm", 0, 32, 4), "vzeroupper"},
      {"ReadAvxPrefetch", false, 128, 128,
       Prefetches("prefetcht0", {512, 576}) + Loads("vmovdqa", "ymm", 0, 32, 4), "vzeroupper"},
      {"WriteAvx", false, 128, 128, Stores("vmovdqa", "ymm", 'p', 0, 32, 4), "vzeroupper"},
      {"WriteAvxNonTemporal", false, 128, 128, Stores("vmovntdq", "ymm", 'p', 0, 32, 4), "sfence vzeroupper"},
      {"CopyAvx", true, 128, 128, LoadStorePairs("vmovdqa", "vmovdqa", "ymm", 32, 4), "vzeroupper"},
      {"CopyAvxNonTemporal", true, 128, 128, LoadStorePairs("vmovdqa", "vmovntdq", "ymm", 32, 4),
       "sfence vzeroupper"},
      {"ReadAvx512", false, 256, 256, Loads("vmovdqa64", "zmm", 0, 64, 4), "vzeroupper"},
      {"ReadAvx512Prefetch", false, 256, 256,
       Prefetches("prefetcht0", {512, 576, 640, 704}) + Loads("vmovdqa64", "zmm", 0, 64, 4), "vzeroupper"},
      {"WriteAvx512", false, 256, 256, Stores("vmovdqa64", "zmm", 'p', 0, 64, 4), "vzeroupper"},
      {"WriteAvx512NonTemporal", false, 256, 256, Stores("vmovntdq", "zmm", 'p', 0, 64, 4), "sfence vzeroupper"},
      {"CopyAvx512", true, 256, 256, LoadStorePairs("vmovdqa64", "vmovdqa64", "zmm", 64, 4), "vzeroupper"},
      {"CopyAvx512NonTemporal", true, 256, 256, LoadStorePairs("vmovdqa64", "vmovntdq", "zmm", 64, 4),
       "sfence vzeroupper"},
  };
  return loops;
}

// Loop-free routines of kernels_wide.S and the text their one rep
// instruction starts with in objdump's listing.
struct StringRoutine {
  const char* name;
  const char* instruction;
};
const StringRoutine kStringRoutines[] = {{"CopyRepMovsb", "rep movsb"}, {"WriteRepStosb", "rep stos %al"}};

// ------------------------------------------------------------- disassembly

struct Instruction {
  uint64_t address;
  std::string mnemonic;
  std::vector<std::string> operands;
  std::string text;
};
using Listing = std::map<std::string, std::vector<Instruction>>;

std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

std::vector<std::string> SplitOperands(const std::string& text) {
  std::vector<std::string> operands;
  std::string current;
  int depth = 0;
  for (char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      operands.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) operands.push_back(current);
  return operands;
}

// Functions by name (a leading underscore of 32-bit Windows removed), each
// with its instructions in address order.
Listing Disassemble(const std::string& objdump, const std::string& file, bool underscored) {
  Listing listing;
  std::istringstream lines(Run("'" + objdump + "' -d --no-show-raw-insn '" + file + "' 2>&1"));
  static const std::regex function(R"(^[0-9a-f]+ <([^>]+)>:$)");
  static const std::regex instruction(R"(^\s*([0-9a-f]+):\s+(.*?)\s*$)");
  std::vector<Instruction>* current = nullptr;
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, m, function)) {
      std::string name = m[1];
      if (underscored && !name.empty() && name[0] == '_') name.erase(0, 1);
      current = &listing[name];
    } else if (current && std::regex_match(line, m, instruction)) {
      Instruction insn;
      insn.address = std::stoull(m[1], nullptr, 16);
      insn.text = m[2];
      std::string rest = insn.text;
      size_t comment = rest.find(" <");  // the symbolic form of a branch target
      if (comment != std::string::npos) rest.erase(comment);
      size_t space = rest.find_first_of(" \t");
      insn.mnemonic = rest.substr(0, space);
      if (space != std::string::npos) {
        std::string operands = rest.substr(rest.find_first_not_of(" \t", space));
        insn.operands = SplitOperands(operands);
      }
      current->push_back(insn);
    }
  }
  return listing;
}

// Alignment of the .text section ("2**4" → 16), 0 if not found.
uint64_t TextAlignment(const std::string& objdump, const std::string& file) {
  std::istringstream lines(Run("'" + objdump + "' -h '" + file + "' 2>&1"));
  static const std::regex text(R"(^\s*\d+\s+\.text\s.*\s2\*\*(\d+)\s*$)");
  std::string line;
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_match(line, m, text)) return uint64_t{1} << std::stoi(m[1]);
  return 0;
}

// "0x40(%rdi)" → offset 64, base "%rdi".
bool ParseMemory(const std::string& operand, long* offset, std::string* base) {
  static const std::regex memory(R"(^(-?0x[0-9a-f]+|-?[0-9]+)?\((%[a-z0-9]+)\)$)");
  std::smatch m;
  if (!std::regex_match(operand, m, memory)) return false;
  *offset = m[1].length() ? std::stol(m[1], nullptr, 0) : 0;
  *base = m[2];
  return true;
}

// The 64-bit name of a general register, so that %esi and %rsi compare equal.
std::string Widest(const std::string& reg) {
  static const std::map<std::string, std::string> names = {
      {"%eax", "%rax"}, {"%ebx", "%rbx"}, {"%ecx", "%rcx"}, {"%edx", "%rdx"}, {"%esi", "%rsi"},
      {"%edi", "%rdi"}, {"%ebp", "%rbp"}, {"%esp", "%rsp"}};
  auto it = names.find(reg);
  if (it != names.end()) return it->second;
  if (reg.size() > 3 && reg[1] == 'r' && (reg.back() == 'd' || reg.back() == 'w')) return reg.substr(0, reg.size() - 1);
  return reg;
}

bool Is32BitRegister(const std::string& reg) {
  static const std::regex r32(R"(^%(e[a-z]{2}|r[0-9]+d)$)");
  return std::regex_match(reg, r32);
}

long Immediate(const std::string& operand) {
  if (operand.empty() || operand[0] != '$') return -1;
  return std::stol(operand.substr(1), nullptr, 0);
}

// Checks one routine against its expected loop; failures name the routine.
// stackArguments (i686): the routine fetches its pointers and count from the
// stack slots 4, 8 (and 12) above the return address, in argument order.
void CheckLoop(const Loop& loop, const std::vector<Instruction>& code, bool stackArguments) {
  SCOPED_TRACE(loop.name);
  ASSERT_FALSE(code.empty()) << "routine missing";

  // Exactly one backward branch: the loop's jne.
  size_t jump = code.size();
  for (size_t i = 0; i < code.size(); ++i) {
    static const std::regex address("^[0-9a-f]+$");
    if (code[i].mnemonic[0] != 'j' || code[i].operands.size() != 1 || !std::regex_match(code[i].operands[0], address))
      continue;
    uint64_t target = std::stoull(code[i].operands[0], nullptr, 16);
    if (target <= code[i].address) {
      ASSERT_EQ(jump, code.size()) << "a second backward branch: " << code[i].text;
      jump = i;
    }
  }
  ASSERT_LT(jump, code.size()) << "no loop";
  EXPECT_EQ(code[jump].mnemonic, "jne");
  uint64_t head = std::stoull(code[jump].operands[0], nullptr, 16);
  EXPECT_EQ(head % 16, 0u) << "loop head at 0x" << std::hex << head;
  size_t first = 0;
  while (first < code.size() && code[first].address != head) ++first;
  ASSERT_LT(first, jump) << "loop head is not an instruction start";

  const size_t pointers = loop.copy ? 2 : 1;
  ASSERT_EQ(jump - first, loop.body.size() + pointers + 1)
      << "loop length; first instruction " << code[first].text;

  std::map<char, std::string> base;  // 'p' / 'q' → register, learnt from the first use
  for (size_t i = 0; i < loop.body.size(); ++i) {
    const Access& want = loop.body[i];
    const Instruction& got = code[first + i];
    SCOPED_TRACE("body instruction " + std::to_string(i) + ": " + got.text);
    ASSERT_EQ(got.mnemonic, want.mnemonic);
    ASSERT_EQ(got.operands.size(), want.reg.empty() ? 1u : 2u);
    const std::string& memoryOperand = want.store || want.reg.empty() ? got.operands.back() : got.operands[0];
    long offset;
    std::string reg;
    ASSERT_TRUE(ParseMemory(memoryOperand, &offset, &reg)) << "no plain memory operand";
    EXPECT_EQ(offset, want.offset);
    if (base.count(want.base)) {
      EXPECT_EQ(reg, base[want.base]) << "base register of " << want.base;
    } else {
      base[want.base] = reg;
    }
    if (!want.reg.empty()) {
      const std::string& other = want.store ? got.operands[0] : got.operands[1];
      if (want.reg == "r32") {
        EXPECT_TRUE(Is32BitRegister(other) && Widest(other) != Widest(base['p'])) << other;
      } else {
        EXPECT_EQ(other, want.reg);
      }
    }
  }
  if (loop.copy) {
    EXPECT_NE(Widest(base['p']), Widest(base['q'])) << "source and destination share a register";
  }

  // Advance of each pointer, in order p then q, then the count.
  const char order[] = {'p', 'q'};
  for (size_t k = 0; k < pointers; ++k) {
    const Instruction& add = code[first + loop.body.size() + k];
    SCOPED_TRACE(add.text);
    EXPECT_EQ(add.mnemonic, "add");
    ASSERT_EQ(add.operands.size(), 2u);
    EXPECT_EQ(Immediate(add.operands[0]), loop.advance);
    EXPECT_EQ(add.operands[1], base[order[k]]);
  }
  const Instruction& sub = code[jump - 1];
  SCOPED_TRACE(sub.text);
  EXPECT_EQ(sub.mnemonic, "sub");
  ASSERT_EQ(sub.operands.size(), 2u);
  EXPECT_EQ(Immediate(sub.operands[0]), loop.decrement);
  EXPECT_TRUE(Is32BitRegister(sub.operands[1])) << "count register";
  for (const auto& b : base) {
    EXPECT_NE(Widest(sub.operands[1]), Widest(b.second)) << "count shares a pointer register";
  }
  std::vector<std::string> arguments = {base['p']};
  if (loop.copy) arguments.push_back(base['q']);
  arguments.push_back(sub.operands[1]);
  const char* slots[] = {"0x4(%esp)", "0x8(%esp)", "0xc(%esp)"};
  for (size_t k = 0; stackArguments && k < arguments.size(); ++k) {
    bool fetched = false;
    for (size_t i = 0; i < first; ++i)
      fetched |= code[i].mnemonic == "mov" && code[i].operands == std::vector<std::string>{slots[k], arguments[k]};
    EXPECT_TRUE(fetched) << "argument " << k + 1 << " not fetched from " << slots[k] << " into " << arguments[k];
  }

  // After the loop: the closing instructions, then the return. Only the reload
  // of the caller's xmm6/xmm7 (64-bit Windows) may come between them.
  size_t next = jump + 1;
  std::istringstream closing(loop.closing ? loop.closing : "");
  for (std::string mnemonic; closing >> mnemonic; ++next) {
    ASSERT_LT(next, code.size());
    EXPECT_EQ(code[next].mnemonic, mnemonic) << "closing instruction: " << code[next].text;
  }
  while (next < code.size() && code[next].mnemonic == "movups") ++next;
  ASSERT_LT(next, code.size());
  EXPECT_TRUE(code[next].mnemonic == "ret" || code[next].mnemonic == "retq" || code[next].mnemonic == "retl")
      << "after the loop: " << code[next].text;
}

// A string routine: no branch at all, the count moved into ecx by a 32-bit
// mov (so the upper half of rcx is clear), the rep instruction once, and only
// register moves between it and the return.
void CheckStringRoutine(const StringRoutine& routine, const std::vector<Instruction>& code) {
  SCOPED_TRACE(routine.name);
  ASSERT_FALSE(code.empty()) << "routine missing";
  size_t rep = code.size();
  bool countMoved = false;
  for (size_t i = 0; i < code.size(); ++i) {
    EXPECT_NE(code[i].mnemonic[0], 'j') << "branch: " << code[i].text;
    if (code[i].text.rfind(routine.instruction, 0) == 0) {
      EXPECT_EQ(rep, code.size()) << "second rep instruction";
      rep = i;
    }
    if (rep == code.size() && code[i].mnemonic == "mov" && code[i].operands.size() == 2 &&
        code[i].operands[1] == "%ecx" && Is32BitRegister(code[i].operands[0]))
      countMoved = true;
  }
  ASSERT_LT(rep, code.size()) << "no " << routine.instruction;
  EXPECT_TRUE(countMoved) << "count not moved into ecx as a 32-bit value before the rep instruction";
  size_t next = rep + 1;
  while (next < code.size() && code[next].mnemonic == "mov") ++next;
  ASSERT_LT(next, code.size());
  EXPECT_EQ(code[next].mnemonic, "ret") << "after the rep instruction: " << code[next].text;
}

struct Target {
  const char* label;
  const char* objdump;
  const char* file;
  bool underscored;
  bool wide;  // kernels_wide.S rather than kernels.S
};

void PrintTo(const Target& target, std::ostream* out) { *out << target.label; }

class KernelMachineCode : public testing::TestWithParam<Target> {};

TEST_P(KernelMachineCode, EveryLoopIsTheDocumentedSequence) {
  const Target& t = GetParam();
  if (!*t.objdump || !*t.file) GTEST_SKIP() << "no toolchain for " << t.label << " in this build";
  EXPECT_GE(TextAlignment(t.objdump, t.file), 16u) << "code section alignment";
  Listing listing = Disassemble(t.objdump, t.file, t.underscored);
  ASSERT_FALSE(listing.empty()) << "nothing disassembled from " << t.file;
  if (t.wide) {
    for (const Loop& loop : ExpectedWideLoops()) CheckLoop(loop, listing[loop.name], false);
    for (const StringRoutine& routine : kStringRoutines) CheckStringRoutine(routine, listing[routine.name]);
    return;
  }
  for (const Loop& loop : ExpectedLoops()) CheckLoop(loop, listing[loop.name], t.underscored);

  const std::vector<Instruction>& empty = listing["EmptyKernel"];
  ASSERT_FALSE(empty.empty()) << "EmptyKernel missing";
  EXPECT_TRUE(empty[0].mnemonic == "ret" || empty[0].mnemonic == "retq" || empty[0].mnemonic == "retl")
      << "EmptyKernel starts with " << empty[0].text;
}

// The sweep as built: between the two counter reads of every timed call lies
// that call alone, with no fence or serialising instruction. The stretches
// between passes hold the loop's branches and are not timed.
TEST(SweepMachineCode, NothingButTheCallBetweenTheCounterReadsOfAPass) {
#ifndef LORVANTA_OPTIMISED_BUILD
  GTEST_SKIP() << "the timed regions are checked in the optimised build; a debug or sanitizer build instruments them";
#endif
  Listing listing = Disassemble(LORVANTA_OBJDUMP, LORVANTA_SWEEP_LIBRARY, false);
  static const std::regex serialising("^(lfence|mfence|sfence|cpuid|rdtscp|serialize|lock|xchg.*|wbinvd|invd)$");
  int timed = 0;
  for (const auto& function : listing) {
    const std::vector<Instruction>& code = function.second;
    for (size_t i = 0, previous = code.size(); i < code.size(); ++i) {
      if (code[i].mnemonic != "rdtsc") continue;
      int calls = 0, branches = 0;
      for (size_t k = previous + 1; k < i; ++k) {
        calls += code[k].mnemonic.compare(0, 4, "call") == 0;
        branches += code[k].mnemonic[0] == 'j';
      }
      if (previous < i && branches == 0) {
        ++timed;
        EXPECT_EQ(calls, 1) << function.first;
        for (size_t k = previous + 1; k < i; ++k)
          EXPECT_FALSE(std::regex_match(code[k].mnemonic, serialising)) << function.first << ": " << code[k].text;
      }
      previous = i;
    }
  }
  EXPECT_GE(timed, 17) << "the overhead's call and the sixteen kernels' calls";
}

INSTANTIATE_TEST_SUITE_P(Builds, KernelMachineCode,
                         testing::Values(
                             Target{"native", LORVANTA_OBJDUMP, LORVANTA_KERNELS_NATIVE, false, false},
                             Target{"mingw32", LORVANTA_MINGW32_OBJDUMP, LORVANTA_KERNELS_MINGW32, true, false},
                             Target{"mingw64", LORVANTA_MINGW64_OBJDUMP, LORVANTA_KERNELS_MINGW64, false, false},
                             Target{"native_wide", LORVANTA_OBJDUMP, LORVANTA_KERNELS_WIDE_NATIVE, false, true},
                             Target{"mingw64_wide", LORVANTA_MINGW64_OBJDUMP, LORVANTA_KERNELS_WIDE_MINGW64, false,
                                    true}),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.label); });

}  // namespace
