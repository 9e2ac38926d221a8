#include "probe/topology.h"

#include <cpuid.h>

#include <algorithm>
#include <cstring>

#include "platform/survey/cache_view.h"

CpuidAnswer ExecuteCpuidSubleafInstruction(uint32_t leaf, uint32_t subleaf) {
  CpuidAnswer answer{0, 0, 0, 0};
  __cpuid_count(leaf, subleaf, answer.eax, answer.ebx, answer.ecx, answer.edx);
  return answer;
}

CpuidAnswer (*executeCpuidSubleaf)(uint32_t leaf, uint32_t subleaf) = ExecuteCpuidSubleafInstruction;

namespace {
const uint32_t topologyExtensionsBit = 1u << 22;  // CPUID 0x80000001 ECX
const uint32_t capacity = sizeof(CacheTopology::caches) / sizeof(CacheTopology::caches[0]);

CpuidAnswer Cpuid(uint32_t leaf) { return executeCpuidSubleaf(leaf, 0); }

bool VendorIs(const CpuidAnswer& leaf0, const char* vendor) {
  char text[12];
  std::memcpy(text, &leaf0.ebx, 4);
  std::memcpy(text + 4, &leaf0.edx, 4);
  std::memcpy(text + 8, &leaf0.ecx, 4);
  return std::memcmp(text, vendor, 12) == 0;
}

void Add(CacheTopology* topology, const CacheLevelInfo& cache) {
  if (topology->count < capacity) topology->caches[topology->count++] = cache;
}

// One answer of leaf 4 or 0x8000001D (both share this layout); false at the
// end of the list (type 0).
bool DecodeDeterministicAnswer(const CpuidAnswer& a, CacheLevelInfo* cache) {
  const uint32_t type = a.eax & 0x1Fu;
  if (type == 0) return false;
  const uint64_t lineSize = (a.ebx & 0xFFFu) + 1;
  const uint64_t partitions = ((a.ebx >> 12) & 0x3FFu) + 1;
  const uint64_t ways = ((a.ebx >> 22) & 0x3FFu) + 1;
  const uint64_t sets = static_cast<uint64_t>(a.ecx) + 1;
  const bool fully = (a.eax >> 9) & 1u;
  *cache = CacheLevelInfo{(a.eax >> 5) & 7u,
                          static_cast<CacheKind>(type),
                          ways * partitions * lineSize * sets,
                          static_cast<uint32_t>(lineSize),
                          fully ? 0u : static_cast<uint32_t>(ways),
                          ((a.eax >> 14) & 0xFFFu) + 1,
                          fully};
  return true;
}

void ReadDeterministicLeaf(uint32_t leaf, CacheTopology* topology) {
  CacheLevelInfo cache;
  for (uint32_t subleaf = 0; subleaf < 32; ++subleaf) {
    if (!DecodeDeterministicAnswer(executeCpuidSubleaf(leaf, subleaf), &cache)) break;
    if (cache.kind <= CacheUnified) Add(topology, cache);  // types 4..31 are reserved
  }
}

// Ways of the 4-bit associativity code of 0x80000006; 0 where the code gives
// no count (9 on recent processors means "see 0x8000001D").
const uint32_t amdWays[16] = {0, 1, 2, 3, 4, 6, 8, 0, 16, 0, 32, 48, 64, 96, 128, 0};

// An L1 field of 0x80000005 ECX/EDX: size KiB, ways, lines per tag, line size.
void AddAmdLevel1(uint32_t field, CacheKind kind, CacheTopology* topology) {
  const uint32_t kib = field >> 24;
  if (kib == 0) return;
  const uint32_t ways = (field >> 16) & 0xFFu;
  Add(topology, CacheLevelInfo{1, kind, static_cast<uint64_t>(kib) * 1024, field & 0xFFu, ways == 0xFF ? 0 : ways, 0,
                               ways == 0xFF});
}

// An L2 (ECX) or L3 (EDX) field of 0x80000006; code 0 means no such cache.
void AddAmdOuterLevel(uint32_t level, uint64_t sizeBytes, uint32_t field, CacheTopology* topology) {
  const uint32_t code = (field >> 12) & 0xFu;
  if (sizeBytes == 0 || code == 0) return;
  Add(topology, CacheLevelInfo{level, CacheUnified, sizeBytes, field & 0xFFu, amdWays[code], 0, code == 0xF});
}

void ReadAmdLegacyLeaves(uint32_t maxExtendedLeaf, CacheTopology* topology) {
  if (maxExtendedLeaf >= 0x80000005u) {
    const CpuidAnswer l1 = Cpuid(0x80000005u);
    AddAmdLevel1(l1.ecx, CacheData, topology);
    AddAmdLevel1(l1.edx, CacheInstruction, topology);
  }
  if (maxExtendedLeaf >= 0x80000006u) {
    const CpuidAnswer outer = Cpuid(0x80000006u);
    AddAmdOuterLevel(2, static_cast<uint64_t>(outer.ecx >> 16) * 1024, outer.ecx, topology);
    // The L3 size field counts 512 KiB units.
    AddAmdOuterLevel(3, static_cast<uint64_t>(outer.edx >> 18) * 512 * 1024, outer.edx, topology);
  }
}

// Leaf 2: each byte names a cache; a later byte for the same level and kind
// replaces the earlier one, as in the exact sweep's decoding.
void ReadDescriptorLeaf(CacheTopology* topology) {
  CpuidAnswer answer = Cpuid(2);
  const uint32_t executions = (answer.eax & 0xFFu) == 0 ? 1 : (answer.eax & 0xFFu);
  for (uint32_t execution = 0; execution < executions; ++execution) {
    if (execution > 0) answer = Cpuid(2);
    uint8_t bytes[15];
    const uint32_t count = DescriptorBytes(answer, bytes);
    for (uint32_t i = 0; i < count; ++i) {
      CacheLevelInfo cache;
      if (!CacheFromDescriptor(bytes[i], &cache)) continue;
      uint32_t slot = 0;
      while (slot < topology->count &&
             (topology->caches[slot].level != cache.level || topology->caches[slot].kind != cache.kind))
        ++slot;
      if (slot < topology->count) topology->caches[slot] = cache;
      else Add(topology, cache);
    }
  }
}
}  // namespace

CacheTopology ReadCacheTopology() {
  CacheTopology topology{};
  topology.source = "none";
  const CpuidAnswer leaf0 = Cpuid(0);
  const uint32_t maxLeaf = leaf0.eax;
  const uint32_t maxExtendedLeaf = Cpuid(0x80000000u).eax;
  const bool extendedValid = maxExtendedLeaf >= 0x80000000u && maxExtendedLeaf < 0x8000FFFFu;

  if (VendorIs(leaf0, "AuthenticAMD") || VendorIs(leaf0, "HygonGenuine")) {
    const bool topologyExtensions =
        extendedValid && maxExtendedLeaf >= 0x8000001Du && (Cpuid(0x80000001u).ecx & topologyExtensionsBit);
    if (topologyExtensions) {
      ReadDeterministicLeaf(0x8000001Du, &topology);
      topology.source = "CPUID leaf 0x8000001D";
    }
    if (topology.count == 0 && extendedValid) {
      ReadAmdLegacyLeaves(maxExtendedLeaf, &topology);
      topology.source = "CPUID 0x80000005/6";
    }
  } else {
    if (maxLeaf >= 4) {
      ReadDeterministicLeaf(4, &topology);
      topology.source = "CPUID leaf 4";
    }
    if (topology.count == 0 && maxLeaf >= 2) {
      ReadDescriptorLeaf(&topology);  // a 0xFF byte (see leaf 4) names no cache
      topology.source = "CPUID leaf 2";
    }
  }
  if (topology.count == 0) topology.source = "none";
  std::stable_sort(topology.caches, topology.caches + topology.count,
                   [](const CacheLevelInfo& a, const CacheLevelInfo& b) {
                     return a.level != b.level ? a.level < b.level : a.kind < b.kind;
                   });
  return topology;
}

uint32_t DataCacheLevels(const CacheTopology& topology, CacheLevelInfo* out, uint32_t outCapacity) {
  uint32_t written = 0;
  for (uint32_t i = 0; i < topology.count && i < capacity && written < outCapacity; ++i)
    if (topology.caches[i].kind != CacheInstruction) out[written++] = topology.caches[i];
  return written;
}

std::string FormatExactSize(uint64_t bytes) {
  const uint64_t kib = 1024, mib = kib * kib;
  if (bytes >= mib && bytes % mib == 0) return std::to_string(bytes / mib) + " MiB";
  if (bytes >= kib && bytes % kib == 0) return std::to_string(bytes / kib) + " KiB";
  return std::to_string(bytes) + " B";
}

static std::string CacheName(uint32_t level, CacheKind kind) {
  const char* suffix = kind == CacheData ? "d" : kind == CacheInstruction ? "i" : "";
  return "L" + std::to_string(level) + suffix;
}

std::string DescribeCache(const CacheLevelInfo& cache) {
  std::string text = CacheName(cache.level, cache.kind) + " " + FormatExactSize(cache.sizeBytes);
  if (cache.fullyAssociative) text += ", fully associative";
  else if (cache.ways != 0) text += ", " + std::to_string(cache.ways) + "-way";
  if (cache.lineSize != 0) text += ", " + std::to_string(cache.lineSize) + " B lines";
  if (cache.sharedBy != 0) text += ", shared by " + std::to_string(cache.sharedBy);
  return text;
}

namespace {
// The size of the data or unified cache of a level; 0 when there is none.
uint64_t DataSizeAtLevel(const CacheLevelInfo* caches, uint32_t count, uint32_t level) {
  for (uint32_t i = 0; i < count; ++i)
    if (caches[i].level == level) return caches[i].sizeBytes;
  return 0;
}
}  // namespace

bool ReadOsCacheTopology(CacheTopology* topology) {
  OsCacheView view = {};
  const bool read = ReadOsCacheView(&view);
  topology->count = 0;
  topology->source = view.source;
  for (uint32_t i = 0; i < view.count && i < capacity; ++i) {
    const OsCache& cache = view.caches[i];
    topology->caches[topology->count++] =
        CacheLevelInfo{cache.level, static_cast<CacheKind>(cache.kind), cache.sizeBytes, cache.lineSize,
                       cache.ways, cache.sharedBy, cache.fullyAssociative};
  }
  return read;
}

std::string CompareCacheTopologies(const CacheTopology& processor, const CacheTopology& os) {
  CacheLevelInfo fromProcessor[capacity], fromOs[capacity];
  const uint32_t processorCount = DataCacheLevels(processor, fromProcessor, capacity);
  const uint32_t osCount = DataCacheLevels(os, fromOs, capacity);
  uint32_t highest = 0;
  for (uint32_t i = 0; i < processorCount; ++i) highest = std::max(highest, fromProcessor[i].level);
  for (uint32_t i = 0; i < osCount; ++i) highest = std::max(highest, fromOs[i].level);

  std::string differences;
  for (uint32_t level = 1; level <= highest; ++level) {
    const uint64_t a = DataSizeAtLevel(fromProcessor, processorCount, level);
    const uint64_t b = DataSizeAtLevel(fromOs, osCount, level);
    if (a == b) continue;
    if (!differences.empty()) differences += ", ";
    differences += "L" + std::to_string(level) + " " + (a ? FormatExactSize(a) : std::string("none")) + " vs " +
                   (b ? FormatExactSize(b) : std::string("none"));
  }
  if (differences.empty()) return "";
  return std::string("the processor (") + (processor.source ? processor.source : "none") +
         ") and the operating system report different caches: " + differences + "; using the processor's";
}
