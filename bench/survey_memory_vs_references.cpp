// The survey's memory figures (read, write, copy) against references that
// share nothing with it: neither its kernels, call loop, fill nor buffers.
// Each round runs the survey as a child process (lorvanta-sweep --survey
// --json --points-per-doubling 1 --repeats 3) and takes the memory level's
// figures, then times the references at the survey's largest length on
// buffers of this program's own, filled with xorshift data, with the steady
// clock (the best of a few calls each): the compiler-built load and store
// loops of bench/wide_reference_kernels (256-bit, and 512-bit where the
// processor has AVX-512F; they store 64 different non-zero bytes in every
// line), the C library's memset of 0x5A and memcpy, and likwid-bench where it
// is installed (load, store_mem, copy_mem on 512 MB, its copy figure halved:
// it counts bytes read plus bytes written, the survey each byte once).
//
// How to read it: a ratio is the survey's figure over the fastest reference
// of the same kind in the same round; rounds alternate survey and references,
// so a tenant that slows the machine for a minute moves both sides. The
// memory write figure is compared with non-temporal references when its
// kernel is non-temporal, else with plain stores; memset counts as both, since
// the C library may stream long blocks. A write ratio well above 1 means the
// survey times data that the memory moves faster than real data (lines of
// zeros did that once); the verdict says whether its median lies within 10%.
//
// usage: lorvanta_survey_memory_vs_references path/to/lorvanta-sweep
//            [--rounds N] [--size SIZE] [-- extra survey options]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/wide_reference_kernels.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kGroups[3] = {"read", "write", "copy"};
enum Kind : unsigned { kAnyKind = 0, kNonTemporal = 1, kPlain = 2, kEitherKind = kNonTemporal | kPlain };

struct Figure {
  double rate = 0;  // bytes per second; 0 where the survey has none
  std::string kernel;
};

struct SurveyResult {
  Figure figures[3];
  uint64_t largest = 0;  // the survey's largest length
  double seconds = 0;
};

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a command and returns what it wrote to standard output; false when it
// could not be started or failed.
bool Output(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  char chunk[65536];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output->append(chunk, got);
  return pclose(pipe) == 0;
}

bool RunSurvey(const std::string& command, SurveyResult* result) {
  const Clock::time_point start = Clock::now();
  std::string output;
  if (!Output(command, &output)) return false;
  result->seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const nlohmann::json document = nlohmann::json::parse(output, nullptr, false);
  if (document.is_discarded()) return false;
  const nlohmann::json& run = document["runs"][0];
  result->largest = run["curves"]["lengths_bytes"].back();
  for (const nlohmann::json& level : run["levels"]) {
    if (level["name"] != "memory") continue;
    for (int group = 0; group < 3; ++group) {
      const nlohmann::json& figure = level[kGroups[group]];
      if (figure.is_null()) continue;
      result->figures[group] = {figure["bytes_per_second"].get<double>(), figure["kernel"].get<std::string>()};
    }
  }
  return true;
}

// likwid-bench's rate of a test on 512 MB with one thread, in bytes per
// second (its MByte/s line, 10^6 bytes); 0 if it failed.
double LikwidRate(const std::string& test) {
  std::string output;
  if (!Output("likwid-bench -t " + test + " -w S0:512MB:1 2>/dev/null", &output)) return 0;
  const size_t at = output.find("\nMByte/s:");
  return at == std::string::npos ? 0 : std::strtod(output.c_str() + at + 9, nullptr) * 1e6;
}

// Calls a reference loop (32-bit counts) over length bytes in 1 GiB pieces.
template <typename Piece>
void InPieces(uint64_t length, Piece piece) {
  constexpr uint64_t kPiece = uint64_t{1} << 30;
  for (uint64_t done = 0; done < length; done += kPiece)
    piece(done, static_cast<uint32_t>(std::min(kPiece, length - done)));
}

// The best rate of a few calls, each timed alone.
double BestRate(uint64_t bytes, const std::function<void()>& call) {
  double best = 0;
  for (int index = 0; index < 5; ++index) {
    const Clock::time_point start = Clock::now();
    call();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (seconds > 0) best = std::max(best, bytes / seconds);
  }
  return best;
}

struct Reference {
  std::string name;
  int group;
  unsigned kind;  // write references: kNonTemporal, kPlain or kEitherKind
  std::function<double()> measure;
  double rate = 0;
};

// Two page-aligned buffers of their own, every 64-bit word a xorshift value.
struct Buffers {
  uint64_t length = 0;
  uint8_t* source = nullptr;
  uint8_t* destination = nullptr;
  void Allocate(uint64_t bytes) {
    std::free(source);
    std::free(destination);
    length = bytes / 256 * 256;  // whole steps of every reference loop
    const uint64_t rounded = (length + 4095) / 4096 * 4096;
    source = static_cast<uint8_t*>(std::aligned_alloc(4096, rounded));
    destination = static_cast<uint8_t*>(std::aligned_alloc(4096, rounded));
    if (!source || !destination) {
      std::fprintf(stderr, "cannot allocate two buffers of %llu bytes\n", static_cast<unsigned long long>(rounded));
      std::exit(1);
    }
    uint64_t state = 0x9E3779B97F4A7C15;
    for (uint8_t* buffer : {source, destination})
      for (uint64_t offset = 0; offset < rounded; offset += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(buffer + offset, &state, 8);
      }
  }
};

volatile uint64_t loaded;  // keeps the load loops' results

std::vector<Reference> References(Buffers& buffers, bool avx, bool avx512f, bool likwid) {
  std::vector<Reference> references;
  auto add = [&](const std::string& name, int group, unsigned kind, void (*loop)(const uint8_t*, uint8_t*, uint32_t)) {
    references.push_back({name, group, kind, [&buffers, loop] {
                            return BestRate(buffers.length, [&buffers, loop] {
                              InPieces(buffers.length, [&](uint64_t at, uint32_t count) {
                                loop(buffers.source + at, buffers.destination + at, count);
                              });
                            });
                          }});
  };
  if (avx) {
    add("256-bit loads", 0, kAnyKind, [](const uint8_t* s, uint8_t*, uint32_t n) { loaded = ReferenceReadAvx(s, n); });
    add("non-temporal 256-bit stores", 1, kNonTemporal,
        [](const uint8_t*, uint8_t* d, uint32_t n) { ReferenceWriteAvxNonTemporal(d, n); });
    add("plain 256-bit stores", 1, kPlain, [](const uint8_t*, uint8_t* d, uint32_t n) { ReferenceWriteAvx(d, n); });
  }
  if (avx512f) {
    add("512-bit loads", 0, kAnyKind,
        [](const uint8_t* s, uint8_t*, uint32_t n) { loaded = ReferenceReadAvx512(s, n); });
    add("non-temporal 512-bit stores", 1, kNonTemporal,
        [](const uint8_t*, uint8_t* d, uint32_t n) { ReferenceWriteAvx512NonTemporal(d, n); });
  }
  add("memset 0x5A (glibc may stream)", 1, kEitherKind,
      [](const uint8_t*, uint8_t* d, uint32_t n) { ReferenceMemset(d, n); });
  add("memcpy", 2, kAnyKind, [](const uint8_t* s, uint8_t* d, uint32_t n) { ReferenceMemcpy(s, d, n); });
  if (likwid) {
    const std::string isa = avx512f ? "avx512" : "avx";
    const char* const tests[3] = {"load_", "store_mem_", "copy_mem_"};
    for (int group = 0; group < 3; ++group) {
      const std::string test = tests[group] + isa;
      references.push_back({"likwid " + test + (group == 2 ? " / 2" : "") + " (512 MB)", group, kNonTemporal,
                            [test, group] { return LikwidRate(test) / (group == 2 ? 2 : 1); }});
    }
  }
  return references;
}

const char* KindName(const Reference& reference) {
  if (reference.group != 1) return "";
  return reference.kind == kEitherKind ? "either kind" : reference.kind == kNonTemporal ? "non-temporal" : "plain";
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string ProcessorName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);)
    if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos)
      return line.substr(line.find(':') + 2);
  return "unknown";
}

int Usage(const char* program, const std::string& problem) {
  std::fprintf(stderr, "%s: %s (usage: %s path/to/lorvanta-sweep [--rounds N] [--size SIZE] [-- survey options])\n",
               program, problem.c_str(), program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return Usage(argv[0], "the survey's program comes first");
  if (access(argv[1], X_OK) != 0) return Usage(argv[0], std::string(argv[1]) + " is not an executable program");
  int rounds = 5;
  std::string command = Quoted(argv[1]) + " --survey --json --points-per-doubling 1";
  // The survey's best of three passes against the references' best of a few
  // calls, unless the extra options say how many passes.
  bool repeatsGiven = false;
  for (int index = 2; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--") {
      while (++index < argc) {
        repeatsGiven = repeatsGiven || std::strcmp(argv[index], "--repeats") == 0;
        command += " " + Quoted(argv[index]);
      }
    } else if (argument == "--rounds" && index + 1 < argc) {
      char* end = nullptr;
      const long value = std::strtol(argv[++index], &end, 10);
      if (*end != '\0' || value < 1 || value > 1000) return Usage(argv[0], "--rounds takes a count from 1 to 1000");
      rounds = static_cast<int>(value);
    } else if (argument == "--size" && index + 1 < argc && argv[index + 1][0] != '\0') {
      command += " --max-size " + Quoted(argv[++index]);
    } else {
      return Usage(argv[0], "unknown or incomplete argument " + argument);
    }
  }
  if (!repeatsGiven) command += " --repeats 3";

  const bool avx = __builtin_cpu_supports("avx");
  const bool avx512f = __builtin_cpu_supports("avx512f");
  const bool likwid = std::system("command -v likwid-bench >/dev/null 2>&1") == 0;
  std::printf("processor: %s; AVX-512F: %s\n", ProcessorName().c_str(), avx512f ? "yes" : "no");
  std::printf("likwid-bench: %s\n", likwid ? "installed" : "not installed, left out");
  std::printf("survey: %s\nGB/s are 10^9 bytes per second; copy counts each byte once\n", command.c_str());

  Buffers buffers;
  const std::vector<Reference> prototypes = References(buffers, avx, avx512f, likwid);
  std::vector<double> ratios[3];
  for (int round = 1; round <= rounds; ++round) {
    SurveyResult survey;
    if (!RunSurvey(command, &survey)) {
      std::fprintf(stderr, "the survey failed or wrote no survey document: %s\n", command.c_str());
      return 1;
    }
    if (buffers.length != survey.largest / 256 * 256) buffers.Allocate(survey.largest);
    std::vector<Reference> references = prototypes;
    for (Reference& reference : references) reference.rate = reference.measure();

    std::printf("\nround %d of %d: survey %.1f s; references at %.1f MiB (likwid at 512 MB)\n", round, rounds,
                survey.seconds, buffers.length / 1048576.0);
    for (const Reference& reference : references)
      std::printf("  %-5s %-40s %-13s %7.2f GB/s\n", kGroups[reference.group], reference.name.c_str(),
                  KindName(reference), reference.rate / 1e9);
    std::printf("  %-5s %12s %-24s %-40s %12s %7s\n", "", "survey", "kernel", "fastest reference of its kind", "",
                "ratio");
    for (int group = 0; group < 3; ++group) {
      const Figure& figure = survey.figures[group];
      if (figure.rate == 0) {
        std::printf("  %-5s %12s\n", kGroups[group], "none");
        continue;
      }
      unsigned kind = kAnyKind;
      if (group == 1) kind = figure.kernel.find("NonTemporal") != std::string::npos ? kNonTemporal : kPlain;
      const Reference* fastest = nullptr;
      for (const Reference& reference : references)
        if (reference.group == group && (kind == kAnyKind || (reference.kind & kind)) &&
            (!fastest || reference.rate > fastest->rate))
          fastest = &reference;
      if (!fastest || fastest->rate == 0) {
        std::printf("  %-5s %7.2f GB/s %-24s no reference\n", kGroups[group], figure.rate / 1e9, figure.kernel.c_str());
        continue;
      }
      ratios[group].push_back(figure.rate / fastest->rate);
      std::printf("  %-5s %7.2f GB/s %-24s %-40s %7.2f GB/s %7.3f\n", kGroups[group], figure.rate / 1e9,
                  figure.kernel.c_str(), fastest->name.c_str(), fastest->rate / 1e9, ratios[group].back());
    }
    std::fflush(stdout);
  }

  std::printf("\nover %d rounds, survey / fastest reference of its kind:\n", rounds);
  std::printf("  %-5s %7s %7s %7s  per round\n", "", "median", "lowest", "highest");
  for (int group = 0; group < 3; ++group) {
    if (ratios[group].empty()) continue;
    std::printf("  %-5s %7.3f %7.3f %7.3f ", kGroups[group], Median(ratios[group]),
                *std::min_element(ratios[group].begin(), ratios[group].end()),
                *std::max_element(ratios[group].begin(), ratios[group].end()));
    for (double ratio : ratios[group]) std::printf(" %.3f", ratio);
    std::printf("\n");
  }
  if (ratios[1].empty()) {
    std::printf("memory write: no figure to judge\n");
  } else {
    const double median = Median(ratios[1]);
    std::printf("memory write: median ratio %.3f: %s\n", median,
                median >= 0.90 && median <= 1.10 ? "within 10%" : "OUTSIDE 10%");
  }
  return 0;
}
