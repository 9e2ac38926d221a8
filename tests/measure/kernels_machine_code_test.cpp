// The machine code as built, read back with objdump: every loop of kernels.S
// and kernels_wide.S instruction by instruction, the chase loops of chase.S,
// and the sweep's timed regions. Objects and disassemblers come from the
// build: the native libraries, and the sources assembled by the MinGW tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Instruction {
  uint64_t address;
  std::string mnemonic, operands;
};
using Code = std::vector<Instruction>;
using Listing = std::map<std::string, Code>;

// Functions by name (without the leading underscore of i686 Windows) and the
// smallest alignment of a .text section.
Listing Disassemble(const std::string& objdump, const std::string& file, uint64_t* textAlignment) {
  std::string text;
  if (FILE* pipe = popen(("'" + objdump + "' -h -d --no-show-raw-insn '" + file + "' 2>&1").c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    pclose(pipe);
  }
  static const std::regex section(R"(^\s*\d+\s+\.text\s.*\s2\*\*(\d+)\s*$)");
  static const std::regex function(R"(^[0-9a-f]+ <_?([^>]+)>:$)");
  static const std::regex instruction(R"(^\s*([0-9a-f]+):\s+(\S+)\s*(.*?)(\s+<.*>)?\s*$)");
  Listing listing;
  Code* current = nullptr;
  *textAlignment = ~uint64_t{0};
  std::smatch m;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    if (std::regex_match(line, m, section)) *textAlignment = std::min(*textAlignment, uint64_t{1} << std::stoi(m[1]));
    else if (std::regex_match(line, m, function)) current = &listing[m[1]];
    else if (current && std::regex_match(line, m, instruction))
      current->push_back({std::stoull(m[1], nullptr, 16), m[2], m[3]});
  }
  return listing;
}

// Indices of the backward branches (optionally only those with the mnemonic).
std::vector<size_t> BackwardBranches(const Code& code, const std::string& only = "") {
  static const std::regex target("^[0-9a-f]+$");
  std::vector<size_t> branches;
  for (size_t i = 0; i < code.size(); ++i)
    if (code[i].mnemonic[0] == 'j' && std::regex_match(code[i].operands, target) &&
        std::stoull(code[i].operands, nullptr, 16) <= code[i].address && (only.empty() || code[i].mnemonic == only))
      branches.push_back(i);
  return branches;
}

// Index of the instruction at the branch's target, code.size() if none.
size_t HeadOf(const Code& code, size_t branch) {
  size_t head = 0;
  while (head < branch && code[head].address != std::stoull(code[branch].operands, nullptr, 16)) ++head;
  return head < branch ? head : code.size();
}

std::string Widest(const std::string& reg) {  // %esi, %rsi -> %rsi; %r8d -> %r8
  if (reg.size() == 4 && reg[1] == 'e') return "%r" + reg.substr(2);
  return std::isdigit(static_cast<unsigned char>(reg[2])) && std::isalpha(static_cast<unsigned char>(reg.back()))
             ? reg.substr(0, reg.size() - 1) : reg;
}

// Instructions [from, to) as "mnemonic operands; ...", branches without their
// target, ret for ret/retq/retl. With roles, a general register (not the stack
// pointer) is written as its role: P and Q the loop's pointers in order of first
// use as a base, N the register its sub counts down, R any other; N and R get
// "64" appended when they are not 32-bit registers.
using Roles = std::map<std::string, std::string>;
std::string Text(const Code& code, size_t from, size_t to, const Roles* roles = nullptr, bool skipStack = false) {
  static const std::regex general(R"(%(r[0-9]+[dwb]?|[re]?(ax|bx|cx|dx|si|di|bp)))");
  std::string text;
  for (size_t i = from; i < to; ++i) {
    if (skipStack && code[i].operands.find("(%rsp)") != std::string::npos) continue;  // xmm6/xmm7 of 64-bit Windows
    std::string operands = code[i].mnemonic[0] == 'j' ? "" : code[i].operands;
    for (std::smatch m; roles && std::regex_search(operands, m, general);) {
      auto role = roles->find(Widest(m[0]));
      std::string name = role == roles->end() ? "R" : role->second;
      static const std::regex r32("^%(e..|r[0-9]+d)$");
      if ((name == "N" || name == "R") && !std::regex_match(m[0].str(), r32)) name += "64";
      operands = m.prefix().str() + name + m.suffix().str();
    }
    text += (code[i].mnemonic.compare(0, 3, "ret") ? code[i].mnemonic : "ret") + (operands.empty() ? "" : " ") +
            operands + (i + 1 < to ? "; " : "");
  }
  return text;
}

Roles RolesOf(const Code& code, size_t head, size_t branch) {
  Roles roles;
  static const std::regex base(R"(\((%[a-z0-9]+)\))");
  std::smatch m;
  for (size_t i = head; i < branch; ++i)
    if (std::regex_search(code[i].operands, m, base)) roles.emplace(Widest(m[1]), std::string(1, 'P' + roles.size()));
  const std::string& counted = code[branch - 1].operands;
  roles.emplace(Widest(counted.substr(counted.rfind(',') + 1)), "N");
  return roles;
}

// ------------------------------------------------------------ expected loops

std::string Hex(long value) {
  char hex[32];
  snprintf(hex, sizeof hex, "%#lx", value);
  return hex;
}
std::string At(char base, long offset) { return (offset ? Hex(offset) : "") + "(" + base + ")"; }
std::string Access(const char* op, const std::string& reg, const std::string& memory, bool store) {
  return std::string(op) + " " + (store ? reg + "," + memory : memory + "," + reg) + "; ";
}
// n accesses, register k of the kind at base + first + k * width.
std::string Run(bool store, const char* op, const char* kind, char base, long first, long width, int n = 8) {
  std::string text;
  for (int k = 0; k < n; ++k) text += Access(op, "%" + std::string(kind) + std::to_string(k), At(base, first + k * width), store);
  return text;
}
std::string Loads(const char* op, const char* kind, long first, long width, int n = 8) {
  return Run(false, op, kind, 'P', first, width, n);
}
// Register k loaded from P + k * width and stored to Q + k * width right after.
std::string Pairs(const char* load, const char* store, const char* kind, long width, int n) {
  std::string text;
  for (int k = 0; k < n; ++k)
    text += Access(load, "%" + std::string(kind) + std::to_string(k), At('P', k * width), false) +
            Access(store, "%" + std::string(kind) + std::to_string(k), At('Q', k * width), true);
  return text;
}
std::string Prefetches(const char* op, std::vector<long> offsets) {
  std::string text;
  for (long offset : offsets) text += std::string(op) + " " + At('P', offset) + "; ";
  return text;
}

struct Loop {
  const char* name;
  std::string body;
  long advance, counted;  // added to each pointer, subtracted from N, per iteration
  const char* closing;    // between the loop and the return
};

std::string Expected(const Loop& loop) {
  const bool copy = loop.body.find("(Q)") != std::string::npos;
  return loop.body + "add $" + Hex(loop.advance) + ",P; " + (copy ? "add $" + Hex(loop.advance) + ",Q; " : "") +
         "sub $" + Hex(loop.counted) + ",N; jne | " + loop.closing + "ret";
}

const Loop kLoops[] = {
    {"ReadMmx", Loads("movq", "mm", 0, 8) + Loads("movq", "mm", 64, 8), 128, 128, "emms; "},
    {"ReadMmxPrefetch", Prefetches("prefetchnta", {64, 128, 192}) + Loads("movq", "mm", 0, 8), 64, 64, "emms; "},
    {"ReadSse", Loads("movaps", "xmm", 0, 16, 1), 16, 16, "sfence; "},
    {"ReadSsePrefetch", Prefetches("prefetchnta", {64, 128, 192}) + Loads("movaps", "xmm", 0, 16), 128, 128,
     "sfence; "},
    {"ReadSse2", Loads("movdqa", "xmm", 0, 16, 1), 16, 16, "mfence; "},
    {"ReadSse2Prefetch", Prefetches("prefetchnta", {256, 384}) + Loads("movdqa", "xmm", 0, 16, 1), 16, 16, "mfence; "},
    {"WriteMmx", Run(true, "movq", "mm", 'P', 0, 8), 64, 64, "emms; "},
    {"WriteMmxNonTemporal", Run(true, "movntq", "mm", 'P', 0, 8), 64, 64, "emms; "},
    {"WriteSse", Run(true, "movaps", "xmm", 'P', 0, 16), 128, 128, "sfence; "},
    {"WriteSseNonTemporal", Run(true, "movntps", "xmm", 'P', 0, 16), 128, 128, "sfence; "},
    {"WriteSse2", Run(true, "movdqa", "xmm", 'P', 0, 16), 128, 128, "sfence; "},
    {"WriteSse2NonTemporal", Run(true, "movntdq", "xmm", 'P', 0, 16), 128, 128, "sfence; "},
    {"CopyMmx",
     Loads("movq", "mm", 0, 8) + Run(true, "movq", "mm", 'Q', 0, 8) + Loads("movq", "mm", 64, 8) +
         Run(true, "movq", "mm", 'Q', 64, 8),
     128, 128, "emms; "},
    {"CopyMmxNonTemporal",
     Prefetches("prefetcht0", {0, 64}) + Loads("movq", "mm", 0, 8) + Run(true, "movntq", "mm", 'Q', 0, 8) +
         Loads("movq", "mm", 64, 8) + Run(true, "movntq", "mm", 'Q', 64, 8),
     128, 128, "emms; "},
    {"CopySseNonTemporal", Prefetches("prefetcht0", {0, 64}) + Pairs("movaps", "movntps", "xmm", 16, 8), 128, 128,
     "sfence; "},
    {"CopySse2", Pairs("movdqa", "movdqa", "xmm", 16, 8), 128, 128, "sfence; "},
    {"WarmCache", Prefetches("prefetcht0", {16, 24, 32, 48}) + "mov (P),R; ", 8, 1, ""},
    {"TouchBuffer", "movb $0x0,(P); ", 8, 1, ""},
};

// kernels_wide.S: four ymm registers per 128 bytes, four zmm per 256.
const Loop kWideLoops[] = {
    {"ReadAvx", Loads("vmovdqa", "ymm", 0, 32, 4), 128, 128, "vzeroupper; "},
    {"ReadAvxPrefetch", Prefetches("prefetcht0", {512, 576}) + Loads("vmovdqa", "ymm", 0, 32, 4), 128, 128,
     "vzeroupper; "},
    {"WriteAvx", Run(true, "vmovdqa", "ymm", 'P', 0, 32, 4), 128, 128, "vzeroupper; "},
    {"WriteAvxNonTemporal", Run(true, "vmovntdq", "ymm", 'P', 0, 32, 4), 128, 128, "sfence; vzeroupper; "},
    {"CopyAvx", Pairs("vmovdqa", "vmovdqa", "ymm", 32, 4), 128, 128, "vzeroupper; "},
    {"CopyAvxNonTemporal", Pairs("vmovdqa", "vmovntdq", "ymm", 32, 4), 128, 128, "sfence; vzeroupper; "},
    {"ReadAvx512", Loads("vmovdqa64", "zmm", 0, 64, 4), 256, 256, "vzeroupper; "},
    {"ReadAvx512Prefetch", Prefetches("prefetcht0", {512, 576, 640, 704}) + Loads("vmovdqa64", "zmm", 0, 64, 4), 256,
     256, "vzeroupper; "},
    {"WriteAvx512", Run(true, "vmovdqa64", "zmm", 'P', 0, 64, 4), 256, 256, "vzeroupper; "},
    {"WriteAvx512NonTemporal", Run(true, "vmovntdq", "zmm", 'P', 0, 64, 4), 256, 256, "sfence; vzeroupper; "},
    {"CopyAvx512", Pairs("vmovdqa64", "vmovdqa64", "zmm", 64, 4), 256, 256, "vzeroupper; "},
    {"CopyAvx512NonTemporal", Pairs("vmovdqa64", "vmovntdq", "zmm", 64, 4), 256, 256, "sfence; vzeroupper; "},
};

// ------------------------------------------------------------------ checks

// One backward branch, a jne to a 16-byte aligned head; from the head on the
// expected text; on i686 the arguments first fetched from their stack slots.
void CheckLoop(const Loop& loop, const Code& code, bool stackArguments) {
  SCOPED_TRACE(loop.name);
  const std::vector<size_t> branches = BackwardBranches(code);
  ASSERT_EQ(branches.size(), 1u) << "one loop";
  const size_t branch = branches[0], head = HeadOf(code, branch);
  ASSERT_LT(head, branch) << "loop head is not an instruction start";
  EXPECT_EQ(code[head].address % 16, 0u) << "loop head alignment";
  size_t ret = branch;
  while (ret < code.size() && code[ret].mnemonic.compare(0, 3, "ret")) ++ret;
  const Roles roles = RolesOf(code, head, branch);
  EXPECT_EQ(Text(code, head, branch + 1, &roles) + " | " + Text(code, branch + 1, std::min(ret + 1, code.size()), &roles, true),
            Expected(loop));
  if (!stackArguments) return;
  const std::string slots = loop.body.find("(Q)") != std::string::npos
                                ? "mov 0x4(%esp),P; mov 0x8(%esp),Q; mov 0xc(%esp),N"
                                : "mov 0x4(%esp),P; mov 0x8(%esp),N";
  EXPECT_EQ(Text(code, 0, head, &roles).rfind(slots, 0), 0u) << Text(code, 0, head, &roles);
}

// The string routines: the count moved into ecx as a 32-bit value, the one rep
// instruction, only register moves after it, and no branch.
void CheckStringRoutine(const char* name, const char* rep, const Code& code) {
  const std::regex shape("^([^j;][^;]*; )*mov %(e..|r[0-9]+d),%ecx; ([^j;][^;]*; )*" + std::string(rep) +
                         "[^;]*; (mov [^;]*; )*ret$");
  size_t ret = 0;
  while (ret < code.size() && code[ret].mnemonic != "ret") ++ret;
  EXPECT_TRUE(std::regex_match(Text(code, 0, std::min(ret + 1, code.size())), shape))
      << name << ": " << Text(code, 0, code.size());
}

// ChaseLoads: a loop of single loads and a 16-byte aligned loop of eight, each
// a chain of `mov (%ax),%ax` then one sub of 1 from another register; no other
// memory access but the i686 stack arguments (and padding, which touches none).
void CheckChase(const Code& code) {
  ASSERT_FALSE(code.empty()) << "ChaseLoads missing";
  static const std::regex loop(R"(^((mov \((%e?r?ax)\),\3; )+)sub \$0x1,%(?!e?r?ax)[a-z0-9]+; jne$)");
  static const std::regex chained(R"(^mov \((%e?r?ax)\),\1$)");
  std::vector<size_t> loads;
  for (size_t branch : BackwardBranches(code, "jne")) {
    const size_t head = HeadOf(code, branch);
    const std::string text = head < branch ? Text(code, head, branch + 1) : "";
    EXPECT_TRUE(std::regex_match(text, loop)) << text;
    loads.push_back(branch - head - 1);
    EXPECT_TRUE(loads.back() != 8 || code[head].address % 16 == 0) << "rounds loop head at " << code[head].address;
  }
  std::sort(loads.begin(), loads.end());
  EXPECT_EQ(loads, (std::vector<size_t>{1, 8}));
  for (size_t i = 0; i < code.size(); ++i) {
    const std::string text = Text(code, i, i + 1);
    const bool padding = code[i].mnemonic == "lea" || code[i].mnemonic.compare(0, 3, "nop") == 0;
    EXPECT_TRUE(padding || text.find('(') == std::string::npos || std::regex_match(text, chained) ||
                text.find("(%esp)") != std::string::npos) << text;
  }
}

enum Source { Kernels, Wide, Chase };
struct Target {
  const char* label;
  const char* objdump;
  const char* file;
  Source source;
  bool i686;
};
void PrintTo(const Target& target, std::ostream* out) { *out << target.label; }

class MachineCode : public testing::TestWithParam<Target> {};

TEST_P(MachineCode, EveryLoopIsTheWrittenSequence) {
  const Target& t = GetParam();
  if (!*t.objdump || !*t.file) GTEST_SKIP() << "no toolchain for " << t.label << " in this build";
  uint64_t alignment;
  Listing listing = Disassemble(t.objdump, t.file, &alignment);
  ASSERT_FALSE(listing.empty()) << "nothing disassembled from " << t.file;
  EXPECT_GE(alignment, 16u) << "code section alignment";
  if (t.source == Chase) return CheckChase(listing["ChaseLoads"]);
  if (t.source == Wide) {
    for (const Loop& loop : kWideLoops) CheckLoop(loop, listing[loop.name], false);
    CheckStringRoutine("CopyRepMovsb", "rep movsb", listing["CopyRepMovsb"]);
    return CheckStringRoutine("WriteRepStosb", "rep stos %al", listing["WriteRepStosb"]);
  }
  for (const Loop& loop : kLoops) CheckLoop(loop, listing[loop.name], t.i686);
  EXPECT_EQ(Text(listing["EmptyKernel"], 0, 1), "ret");
}

INSTANTIATE_TEST_SUITE_P(Builds, MachineCode,
                         testing::Values(Target{"native", LORVANTA_OBJDUMP, KERNELS_NATIVE, Kernels, false},
                                         Target{"mingw32", LORVANTA_OBJDUMP_i686, KERNELS_i686, Kernels, true},
                                         Target{"mingw64", LORVANTA_OBJDUMP_x86_64, KERNELS_x86_64, Kernels, false},
                                         Target{"native_wide", LORVANTA_OBJDUMP, WIDE_NATIVE, Wide, false},
                                         Target{"mingw64_wide", LORVANTA_OBJDUMP_x86_64, WIDE_x86_64, Wide, false},
                                         Target{"native_chase", LORVANTA_OBJDUMP, CHASE_NATIVE, Chase, false},
                                         Target{"mingw32_chase", LORVANTA_OBJDUMP_i686, CHASE_i686, Chase, false},
                                         Target{"mingw64_chase", LORVANTA_OBJDUMP_x86_64, CHASE_x86_64, Chase, false}),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.label); });

// Between the two counter reads of every timed call of the sweep lies that
// call alone, no fence or serialising instruction. Stretches with branches
// lie between passes and are not timed.
TEST(SweepMachineCode, NothingButTheCallBetweenTheCounterReadsOfAPass) {
#ifndef LORVANTA_OPTIMISED_BUILD
  GTEST_SKIP() << "the timed regions are checked in the optimised build; a debug or sanitizer build instruments them";
#endif
  uint64_t alignment;
  static const std::regex serialising("^(lfence|mfence|sfence|cpuid|rdtscp|serialize|lock|xchg.*|wbinvd|invd)$");
  int timed = 0;
  for (const auto& function : Disassemble(LORVANTA_OBJDUMP, SWEEP_NATIVE, &alignment)) {
    const Code& code = function.second;
    for (size_t i = 0, previous = code.size(); i < code.size(); ++i) {
      if (code[i].mnemonic != "rdtsc") continue;
      int calls = 0, branches = 0;
      for (size_t k = previous + 1; k < i; ++k) {
        calls += code[k].mnemonic.compare(0, 4, "call") == 0;
        branches += code[k].mnemonic[0] == 'j';
      }
      for (size_t k = previous + 1; previous < i && branches == 0 && k < i; ++k)
        EXPECT_FALSE(std::regex_match(code[k].mnemonic, serialising)) << function.first << ": " << Text(code, k, k + 1);
      EXPECT_TRUE(previous >= i || branches > 0 || (++timed && calls == 1)) << function.first << ": " << calls << " calls";
      previous = i;
    }
  }
  EXPECT_GE(timed, 17) << "the overhead's call and the sixteen kernels' calls";
}

}  // namespace
