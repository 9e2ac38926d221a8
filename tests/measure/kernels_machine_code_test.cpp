// The machine code as built, read back with objdump: every loop of kernels.S
// and kernels_wide.S instruction by instruction against its registry row,
// every global symbol of those objects against the registry, the chase loops
// of chase.S, and the sweep's timed regions. Objects and disassemblers come
// from the build: the native libraries, and the sources assembled by the
// MinGW tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "measure/kernel_registry.h"

namespace {

struct Instruction { uint64_t address; std::string mnemonic, operands; };
using Code = std::vector<Instruction>;
using Listing = std::map<std::string, Code>;

std::string Objdump(const std::string& objdump, const std::string& options, const std::string& file) {
  std::string text;
  if (FILE* pipe = popen(("'" + objdump + "' " + options + " '" + file + "' 2>&1").c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
    pclose(pipe);
  }
  return text;
}

// Functions by name, without the leading underscore of i686 Windows.
Listing Disassemble(const std::string& objdump, const std::string& file) {
  const std::string text = Objdump(objdump, "-d --no-show-raw-insn", file);
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

// Every global symbol an object or archive defines, without the leading
// underscore of i686 Windows: ELF symbols flagged g, COFF symbols of storage
// class 2 (external) in a section.
std::set<std::string> GlobalSymbols(const std::string& objdump, const std::string& file) {
  static const std::regex elf(R"(^[0-9a-f]+ g.{6} (\S+)\s+[0-9a-f]+\s+_?(\S+)$)"),
      coff(R"(^\[\s*\d+\]\(sec\s+[1-9]\d*\)\(fl 0x[0-9a-f]+\)\(ty\s+[0-9a-f]+\)\(scl\s+2\) \(nx \d+\) 0x[0-9a-f]+ _?(\S+)$)");
  std::set<std::string> symbols;
  std::smatch m;
  std::istringstream lines(Objdump(objdump, "-t", file));
  for (std::string line; std::getline(lines, line);)
    if (std::regex_match(line, m, elf) && m[1] != "*UND*") symbols.insert(m[2]);
    else if (std::regex_match(line, m, coff)) symbols.insert(m[1]);
  return symbols;
}

// ------------------------------------------------------------ expected loops

std::string Hex(long value) { char hex[32]; return snprintf(hex, sizeof hex, "%#lx", value), hex; }
std::string At(char base, long offset) { return (offset ? Hex(offset) : "") + "(" + base + ")"; }
std::string Access(const char* op, bool load, const std::string& reg, char base, long offset) {
  return std::string(op) + " " + (load ? At(base, offset) + "," + reg : reg + "," + At(base, offset)) + "; ";
}

// advance, counted: added to each pointer and subtracted from N per iteration; closing: between the loop and the return.
struct Loop { std::string name, body; long advance, counted; std::string closing; };
std::string Expected(const Loop& loop) {
  const bool copy = loop.body.find("(Q)") != std::string::npos;
  return loop.body + "add $" + Hex(loop.advance) + ",P; " + (copy ? "add $" + Hex(loop.advance) + ",Q; " : "") + "sub $" +
         Hex(loop.counted) + ",N; jne | " + loop.closing + "ret";
}

// The mnemonics of each instruction set's aligned load and store.
const char* LoadOp(KernelIsa isa) {
  return isa == IsaMmx ? "movq" : isa == IsaSse ? "movaps" : isa == IsaSse2 ? "movdqa" : isa == IsaAvx ? "vmovdqa" : "vmovdqa64";
}
const char* StoreOp(const KernelRow& row) {
  if (row.store == StoreTemporal) return LoadOp(row.isa);
  return row.isa == IsaMmx ? "movntq" : row.isa == IsaSse ? "movntps" : row.isa == IsaSse2 ? "movntdq" : "vmovntdq";
}
const char* const kPrefetchOps[] = {"", "prefetchnta", "prefetcht0"};                                    // by PrefetchKind
const char* const kClosings[] = {"", "emms; ", "sfence; ", "mfence; ", "vzeroupper; ", "sfence; vzeroupper; "};  // by Closing

// A registry row's loop, written out from the row: its prefetches, then the
// step's accesses, the k-th at k register widths with register k modulo the
// registers the kernel cycles through. A copy through mm registers loads
// eight and then stores them; the vector copies store each register right
// after its load.
Loop LoopOf(const KernelRow& row) {
  const RegisterFile file = kRegisterFiles[row.registers];
  std::string body;
  for (uint32_t i = 0; i < row.prefetch.count; ++i)
    body += std::string(kPrefetchOps[row.prefetch.kind]) + " " + At('P', row.prefetch.ahead + i * row.prefetch.spacing) + "; ";
  const uint32_t accesses = row.step / file.bytes, batch = row.group == GroupCopy && row.registers != RegMm ? 1 : file.cycled;
  for (uint32_t first = 0; first < accesses; first += batch) {
    const uint32_t last = std::min(first + batch, accesses);
    for (uint32_t k = first; row.group != GroupWrite && k < last; ++k)
      body += Access(LoadOp(row.isa), true, "%" + std::string(file.name) + std::to_string(k % file.cycled), 'P', k * file.bytes);
    for (uint32_t k = first; row.group != GroupRead && k < last; ++k)
      body += Access(StoreOp(row), false, "%" + std::string(file.name) + std::to_string(k % file.cycled), row.group == GroupCopy ? 'Q' : 'P',
                     k * file.bytes);
  }
  return {row.name, body, row.step, row.step, kClosings[row.closing]};
}

// The warm-ups of kernels.S: routines of the sweep, not kernels.
const Loop kWarmUpLoops[] = {{"WarmCache", "prefetcht0 0x10(P); prefetcht0 0x18(P); prefetcht0 0x20(P); prefetcht0 0x30(P); mov (P),R; ", 8, 1, ""},
                             {"TouchBuffer", "movb $0x0,(P); ", 8, 1, ""}};
// Global routines of the kernel objects that are no kernels.
const std::set<std::string> kNonKernels = {"WarmCache", "TouchBuffer", "EmptyKernel"};
bool InWideFile(const KernelRow& row) { return (row.isa & kWideIsas) != 0; }

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
    for (const KernelRow& row : kernelRegistry) {
      if (t.source == Chase || InWideFile(row) != (t.source == Wide)) continue;
      if (row.registers == RegNone) CheckStringRoutine(row.name, row.group == GroupCopy ? "rep movsb" : "rep stos %al", listing[row.name]);
      else CheckLoop(LoopOf(row), listing[row.name], t.i686);
    }
    for (const Loop& loop : kWarmUpLoops) if (t.source == Kernels) CheckLoop(loop, listing[loop.name], t.i686);
    EXPECT_TRUE(t.source != Kernels || Text(listing["EmptyKernel"], 0, 1) == "ret");
  }
}

// The kernel objects' global symbols are the registry's rows of that file
// and the listed non-kernels: a routine without a row, or a row without a
// routine (in one of the builds), fails.
TEST(MachineCode, EveryKernelSymbolHasARowAndEveryRowASymbol) {
  for (const auto& t : kTargets) {
    SCOPED_TRACE(t.label);
    if (t.source == Chase || !*t.objdump || !*t.file) continue;
    std::set<std::string> expected = t.source == Kernels ? kNonKernels : std::set<std::string>{};
    for (const KernelRow& row : kernelRegistry)
      if (InWideFile(row) == (t.source == Wide)) expected.insert(row.name);
    const std::set<std::string> symbols = GlobalSymbols(t.objdump, t.file);
    for (const std::string& name : symbols) EXPECT_EQ(expected.count(name), 1u) << "global symbol without a registry row: " << name;
    for (const std::string& name : expected) EXPECT_EQ(symbols.count(name), 1u) << "no global symbol of " << name << " in " << t.file;
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
