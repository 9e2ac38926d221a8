// The machine code as built, read back with objdump: every loop of kernels.S
// and kernels_wide.S instruction by instruction, the chase loops of chase.S,
// and the sweep's timed regions. Objects and disassemblers come from the
// build: the native libraries, and the sources assembled by the MinGW tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Instruction { uint64_t address; std::string mnemonic, operands; };
using Code = std::vector<Instruction>;
using Listing = std::map<std::string, Code>;

// Functions by name, without the leading underscore of i686 Windows.
Listing Disassemble(const std::string& objdump, const std::string& file) {
  std::string text;
  if (FILE* pipe = popen(("'" + objdump + "' -d --no-show-raw-insn '" + file + "' 2>&1").c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    pclose(pipe);
  }
  static const std::regex function(R"(^[0-9a-f]+ <_?([^>]+)>:$)"), instruction(R"(^\s*([0-9a-f]+):\s+(\S+)\s*(.*?)(\s+<.*>)?\s*$)");
  Listing listing;
  Code* current = nullptr;
  std::smatch m;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (std::regex_match(line, m, function)) current = &listing[m[1]];
    else if (current && std::regex_match(line, m, instruction))
      current->push_back({std::stoull(m[1], nullptr, 16), m[2], m[3]});
  return listing;
}

// Backward branches (only those with the mnemonic, if given) and the index
// of the instruction they go to (code.size() if none): the loops.
std::vector<std::pair<size_t, size_t>> Loops(const Code& code, const std::string& only = "") {
  static const std::regex target("^[0-9a-f]+$");
  std::vector<std::pair<size_t, size_t>> loops;
  for (size_t i = 0, head = 0; i < code.size(); ++i, head = 0) {
    if (code[i].mnemonic[0] != 'j' || !std::regex_match(code[i].operands, target) ||
        std::stoull(code[i].operands, nullptr, 16) > code[i].address || !(only.empty() || code[i].mnemonic == only)) continue;
    while (head < i && code[head].address != std::stoull(code[i].operands, nullptr, 16)) ++head;
    loops.emplace_back(head < i ? head : code.size(), i);
  }
  return loops;
}

// Instructions [from, to) as "mnemonic operands; ...", branches without their
// target, ret for ret/retq/retl. With roles, a general register (not the stack
// pointer) is written as its role: P and Q the loop's pointers in order of first
// use as a base, N the register its sub counts down, R any other; N and R get
// "64" appended unless they are 32-bit registers (the count is a 32-bit value).
using Roles = std::map<std::string, std::string>;
std::string Text(const Code& code, size_t from, size_t to, const Roles* roles = nullptr, bool skipStack = false) {
  static const std::regex general(R"(%(r[0-9]+[dwb]?|[re]?(ax|bx|cx|dx|si|di|bp)))"), r32("^%(e..|r[0-9]+d)$");
  std::string text;
  for (size_t i = from; i < to; ++i) {
    if (skipStack && code[i].operands.find("(%rsp)") != std::string::npos) continue;  // xmm6/xmm7 of 64-bit Windows
    std::string operands = code[i].mnemonic[0] == 'j' ? "" : code[i].operands;
    for (std::smatch m; roles && std::regex_search(operands, m, general);) {
      auto role = roles->find(m[0]);
      std::string name = role == roles->end() ? "R" : role->second;
      if ((name == "N" || name == "R") && !std::regex_match(m[0].str(), r32)) name += "64";
      operands = m.prefix().str() + name + m.suffix().str();
    }
    text += (code[i].mnemonic.compare(0, 3, "ret") ? code[i].mnemonic : "ret") + (operands.empty() ? "" : " ") + operands + (i + 1 < to ? "; " : "");
  }
  return text;
}

Roles RolesOf(const Code& code, size_t head, size_t branch) {
  Roles roles;
  static const std::regex base(R"(\((%[a-z0-9]+)\))");
  std::smatch m;
  for (size_t i = head; i < branch; ++i)
    if (std::regex_search(code[i].operands, m, base)) roles.emplace(m[1], std::string(1, 'P' + roles.size()));
  const std::string& counted = code[branch - 1].operands;
  roles.emplace(counted.substr(counted.rfind(',') + 1), "N");
  return roles;
}

// ------------------------------------------------------------ expected loops

std::string Hex(long value) { char hex[32]; return snprintf(hex, sizeof hex, "%#lx", value), hex; }
std::string At(char base, long offset) { return (offset ? Hex(offset) : "") + "(" + base + ")"; }
// n loads ('<') or stores ('>') of op: register k of the kind at base + first + k * width; with pair, each load
// from P followed by the store of its register with `pair` to Q.
std::string Run(const char* op, char way, const char* kind, char base, long first, long width, int n = 8, const char* pair = nullptr) {
  std::string text;
  for (int k = 0; k < n; ++k) {
    const std::string reg = "%" + std::string(kind) + std::to_string(k), at = At(base, first + k * width);
    text += std::string(op) + " " + (way == '<' ? at + "," + reg : reg + "," + at) + "; ";
    if (pair) text += std::string(pair) + " " + reg + "," + At('Q', k * width) + "; ";
  }
  return text;
}
std::string Pairs(const char* load, const char* store, const char* kind, long width, int n) { return Run(load, '<', kind, 'P', 0, width, n, store); }
std::string Fetch(const char* op, std::vector<long> offsets) {
  std::string text;
  for (long offset : offsets) text += std::string(op) + " " + At('P', offset) + "; ";
  return text;
}

// advance, counted: added to each pointer and subtracted from N per iteration; closing: between the loop and the return.
struct Loop { const char* name; std::string body; long advance, counted; const char* closing; };
std::string Expected(const Loop& loop) {
  const bool copy = loop.body.find("(Q)") != std::string::npos;
  return loop.body + "add $" + Hex(loop.advance) + ",P; " + (copy ? "add $" + Hex(loop.advance) + ",Q; " : "") + "sub $" +
         Hex(loop.counted) + ",N; jne | " + loop.closing + "ret";
}

const char *kEmms = "emms; ", *kSfence = "sfence; ", *kVzero = "vzeroupper; ", *kSfenceVzero = "sfence; vzeroupper; ";
const std::string kMmx8 = Run("movq", '<', "mm", 'P', 0, 8), kMmx8High = Run("movq", '<', "mm", 'P', 64, 8);
const Loop kLoops[] = {
    {"ReadMmx", kMmx8 + kMmx8High, 128, 128, kEmms}, {"ReadMmxPrefetch", Fetch("prefetchnta", {64, 128, 192}) + kMmx8, 64, 64, kEmms},
    {"ReadSse", Run("movaps", '<', "xmm", 'P', 0, 16, 1), 16, 16, kSfence},
    {"ReadSsePrefetch", Fetch("prefetchnta", {64, 128, 192}) + Run("movaps", '<', "xmm", 'P', 0, 16), 128, 128, kSfence},
    {"ReadSse2", Run("movdqa", '<', "xmm", 'P', 0, 16, 1), 16, 16, "mfence; "},
    {"ReadSse2Prefetch", Fetch("prefetchnta", {256, 384}) + Run("movdqa", '<', "xmm", 'P', 0, 16, 1), 16, 16, "mfence; "},
    {"WriteMmx", Run("movq", '>', "mm", 'P', 0, 8), 64, 64, kEmms}, {"WriteMmxNonTemporal", Run("movntq", '>', "mm", 'P', 0, 8), 64, 64, kEmms},
    {"WriteSse", Run("movaps", '>', "xmm", 'P', 0, 16), 128, 128, kSfence},
    {"WriteSseNonTemporal", Run("movntps", '>', "xmm", 'P', 0, 16), 128, 128, kSfence},
    {"WriteSse2", Run("movdqa", '>', "xmm", 'P', 0, 16), 128, 128, kSfence},
    {"WriteSse2NonTemporal", Run("movntdq", '>', "xmm", 'P', 0, 16), 128, 128, kSfence},
    {"CopyMmx", kMmx8 + Run("movq", '>', "mm", 'Q', 0, 8) + kMmx8High + Run("movq", '>', "mm", 'Q', 64, 8), 128, 128, kEmms},
    {"CopyMmxNonTemporal", Fetch("prefetcht0", {0, 64}) + kMmx8 + Run("movntq", '>', "mm", 'Q', 0, 8) + kMmx8High +
         Run("movntq", '>', "mm", 'Q', 64, 8), 128, 128, kEmms},
    {"CopySseNonTemporal", Fetch("prefetcht0", {0, 64}) + Pairs("movaps", "movntps", "xmm", 16, 8), 128, 128, kSfence},
    {"CopySse2", Pairs("movdqa", "movdqa", "xmm", 16, 8), 128, 128, kSfence},
    {"WarmCache", Fetch("prefetcht0", {16, 24, 32, 48}) + "mov (P),R; ", 8, 1, ""}, {"TouchBuffer", "movb $0x0,(P); ", 8, 1, ""}};

// kernels_wide.S: four ymm registers per 128 bytes, four zmm per 256.
const std::string kYmm4 = Run("vmovdqa", '<', "ymm", 'P', 0, 32, 4), kZmm4 = Run("vmovdqa64", '<', "zmm", 'P', 0, 64, 4);
const Loop kWideLoops[] = {
    {"ReadAvx", kYmm4, 128, 128, kVzero}, {"ReadAvxPrefetch", Fetch("prefetcht0", {512, 576}) + kYmm4, 128, 128, kVzero},
    {"WriteAvx", Run("vmovdqa", '>', "ymm", 'P', 0, 32, 4), 128, 128, kVzero},
    {"WriteAvxNonTemporal", Run("vmovntdq", '>', "ymm", 'P', 0, 32, 4), 128, 128, kSfenceVzero},
    {"CopyAvx", Pairs("vmovdqa", "vmovdqa", "ymm", 32, 4), 128, 128, kVzero},
    {"CopyAvxNonTemporal", Pairs("vmovdqa", "vmovntdq", "ymm", 32, 4), 128, 128, kSfenceVzero},
    {"ReadAvx512", kZmm4, 256, 256, kVzero}, {"ReadAvx512Prefetch", Fetch("prefetcht0", {512, 576, 640, 704}) + kZmm4, 256, 256, kVzero},
    {"WriteAvx512", Run("vmovdqa64", '>', "zmm", 'P', 0, 64, 4), 256, 256, kVzero},
    {"WriteAvx512NonTemporal", Run("vmovntdq", '>', "zmm", 'P', 0, 64, 4), 256, 256, kSfenceVzero},
    {"CopyAvx512", Pairs("vmovdqa64", "vmovdqa64", "zmm", 64, 4), 256, 256, kVzero},
    {"CopyAvx512NonTemporal", Pairs("vmovdqa64", "vmovntdq", "zmm", 64, 4), 256, 256, kSfenceVzero}};

// ------------------------------------------------------------------ checks

// One backward branch, a jne to a 16-byte aligned head; from the head on the
// expected text; on i686 the arguments first fetched from their stack slots.
void CheckLoop(const Loop& loop, const Code& code, bool stackArguments) {
  SCOPED_TRACE(loop.name);
  const auto loops = Loops(code);
  ASSERT_EQ(loops.size(), 1u) << "one loop";
  const auto [head, branch] = loops[0];
  ASSERT_LT(head, branch) << "loop head is not an instruction start";
  EXPECT_EQ(code[head].address % 16, 0u) << "loop head alignment";
  size_t ret = branch;
  while (ret + 1 < code.size() && code[ret].mnemonic.compare(0, 3, "ret")) ++ret;
  const Roles roles = RolesOf(code, head, branch);
  EXPECT_EQ(Text(code, head, branch + 1, &roles) + " | " + Text(code, branch + 1, ret + 1, &roles, true), Expected(loop));
  const bool copy = loop.body.find("(Q)") != std::string::npos;
  const std::string slots = copy ? "mov 0x4(%esp),P; mov 0x8(%esp),Q; mov 0xc(%esp),N" : "mov 0x4(%esp),P; mov 0x8(%esp),N";
  EXPECT_TRUE(!stackArguments || Text(code, 0, head, &roles).rfind(slots, 0) == 0) << Text(code, 0, head, &roles);
}

// The string routines: the count moved into ecx as a 32-bit value, the one rep
// instruction, only register moves after it, and no branch.
void CheckStringRoutine(const char* name, const char* rep, const Code& code) {
  const std::regex shape("^([^j;][^;]*; )*mov %(e..|r[0-9]+d),%ecx; ([^j;][^;]*; )*" + std::string(rep) + "[^;]*; (mov [^;]*; )*ret$");
  size_t ret = 0;
  while (ret < code.size() && code[ret].mnemonic != "ret") ++ret;
  EXPECT_TRUE(std::regex_match(Text(code, 0, std::min(ret + 1, code.size())), shape)) << name << ": " << Text(code, 0, code.size());
}

// ChaseLoads: a loop of single loads and a 16-byte aligned loop of eight, each
// a chain of `mov (%ax),%ax` then one sub of 1 from another register.
void CheckChase(const Code& code) {
  static const std::regex loop(R"(^((mov \((%e?r?ax)\),\3; )+)sub \$0x1,%(?!e?r?ax)[a-z0-9]+; jne$)");
  std::vector<size_t> loads;
  for (auto [head, branch] : Loops(code, "jne")) {
    const std::string text = head < branch ? Text(code, head, branch + 1) : "";
    EXPECT_TRUE(std::regex_match(text, loop)) << text;
    loads.push_back(branch - head - 1);
    EXPECT_TRUE(loads.back() != 8 || code[head].address % 16 == 0) << "rounds loop head at " << code[head].address;
  }
  std::sort(loads.begin(), loads.end());
  EXPECT_EQ(loads, (std::vector<size_t>{1, 8}));
}

enum Source { Kernels, Wide, Chase };
// Label, objdump, object file, source, i686 calling convention.
const struct { const char *label, *objdump, *file; Source source; bool i686; } kTargets[] = {
    {"native", LORVANTA_OBJDUMP, KERNELS_NATIVE, Kernels, false}, {"mingw32", LORVANTA_OBJDUMP_i686, KERNELS_i686, Kernels, true},
    {"mingw64", LORVANTA_OBJDUMP_x86_64, KERNELS_x86_64, Kernels, false}, {"native_wide", LORVANTA_OBJDUMP, WIDE_NATIVE, Wide, false},
    {"mingw64_wide", LORVANTA_OBJDUMP_x86_64, WIDE_x86_64, Wide, false}, {"native_chase", LORVANTA_OBJDUMP, CHASE_NATIVE, Chase, false},
    {"mingw32_chase", LORVANTA_OBJDUMP_i686, CHASE_i686, Chase, false}, {"mingw64_chase", LORVANTA_OBJDUMP_x86_64, CHASE_x86_64, Chase, false}};

// Builds without a MinGW toolchain leave its objects out.
TEST(MachineCode, EveryLoopIsTheWrittenSequence) {
  for (const auto& t : kTargets) {
    SCOPED_TRACE(t.label);
    if (!*t.objdump || !*t.file) continue;
    Listing listing = Disassemble(t.objdump, t.file);
    EXPECT_FALSE(listing.empty()) << "nothing disassembled from " << t.file;
    if (t.source == Chase) CheckChase(listing["ChaseLoads"]);
    for (const Loop& loop : kWideLoops) if (t.source == Wide) CheckLoop(loop, listing[loop.name], false);
    for (const Loop& loop : kLoops) if (t.source == Kernels) CheckLoop(loop, listing[loop.name], t.i686);
    if (t.source == Wide)
      CheckStringRoutine("CopyRepMovsb", "rep movsb", listing["CopyRepMovsb"]), CheckStringRoutine("WriteRepStosb", "rep stos %al", listing["WriteRepStosb"]);
    EXPECT_TRUE(t.source != Kernels || Text(listing["EmptyKernel"], 0, 1) == "ret");
  }
}

// Between the two counter reads of every timed call of the sweep lies that
// call alone, no fence or serialising instruction. Stretches with branches
// lie between passes and are not timed.
TEST(SweepMachineCode, NothingButTheCallBetweenTheCounterReadsOfAPass) {
#ifndef LORVANTA_OPTIMISED_BUILD
  GTEST_SKIP() << "the timed regions are checked in the optimised build; a debug or sanitizer build instruments them";
#endif
  static const std::regex serialising("^(lfence|mfence|sfence|cpuid|rdtscp|serialize|lock|xchg.*|wbinvd|invd)$");
  int timed = 0;
  for (const auto& function : Disassemble(LORVANTA_OBJDUMP, SWEEP_NATIVE)) {
    const Code& code = function.second;
    for (size_t i = 0, previous = code.size(); i < code.size(); ++i) {
      if (code[i].mnemonic != "rdtsc") continue;
      int calls = 0, branches = 0;
      for (size_t k = previous + 1; k < i; ++k) calls += code[k].mnemonic.compare(0, 4, "call") == 0, branches += code[k].mnemonic[0] == 'j';
      for (size_t k = previous + 1; previous < i && branches == 0 && k < i; ++k)
        EXPECT_FALSE(std::regex_match(code[k].mnemonic, serialising)) << function.first << ": " << Text(code, k, k + 1);
      EXPECT_TRUE(previous >= i || branches > 0 || (++timed && calls == 1)) << function.first << ": " << calls << " calls";
      previous = i;
    }
  }
  EXPECT_GE(timed, 17) << "the overhead's call and the sixteen kernels' calls";
}

}  // namespace
