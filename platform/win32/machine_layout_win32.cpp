// Windows binding of the machine layout, through GetLogicalProcessorInformationEx.
#include "platform/win32/machine_layout_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace {
// Byte offsets of the fields read, in each record's body (after Relationship
// and Size). Caches have one group mask up to Windows 10 and a GroupCount at
// byte 30 since Windows 11 (0 on older systems).
const size_t kBodyAt = 8;
const size_t kProcessorGroupCountAt = 22, kProcessorMasksAt = 24;
const size_t kCacheLineSizeAt = 2, kCacheSizeAt = 4, kCacheTypeAt = 8, kCacheGroupCountAt = 30, kCacheMasksAt = 32;
static_assert(offsetof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, Processor) == kBodyAt, "record header");
static_assert(offsetof(PROCESSOR_RELATIONSHIP, GroupCount) == kProcessorGroupCountAt, "processor group count");
static_assert(offsetof(PROCESSOR_RELATIONSHIP, GroupMask) == kProcessorMasksAt, "processor masks");
static_assert(offsetof(CACHE_RELATIONSHIP, CacheSize) == kCacheSizeAt, "cache size");
static_assert(offsetof(CACHE_RELATIONSHIP, GroupMask) == kCacheMasksAt, "cache mask");

template <typename T>
T ReadAt(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The processors of count GROUP_AFFINITY entries from at, ascending; false
// when they run past end.
bool ReadGroupMasks(const uint8_t* at, const uint8_t* end, uint32_t count, std::vector<uint32_t>* processors) {
  for (uint32_t i = 0; i < count; ++i, at += sizeof(GROUP_AFFINITY)) {
    if (at + sizeof(GROUP_AFFINITY) > end) return false;
    const KAFFINITY mask = ReadAt<KAFFINITY>(at);
    const WORD group = ReadAt<WORD>(at + offsetof(GROUP_AFFINITY, Group));
    for (uint32_t bit = 0; bit < 8 * sizeof(KAFFINITY); ++bit)
      if ((mask >> bit) & 1) processors->push_back(group * 64u + bit);
  }
  std::sort(processors->begin(), processors->end());
  return true;
}

// Dense indices over the values in order of first appearance.
std::map<uint32_t, uint32_t> Renumbering(const std::vector<uint32_t>& values) {
  std::map<uint32_t, uint32_t> index;
  for (uint32_t value : values) index.emplace(value, static_cast<uint32_t>(index.size()));
  return index;
}

// The processors the process may run on; empty when it spans several
// groups (GetProcessAffinityMask cannot say then), meaning all of them.
std::vector<uint32_t> AllowedProcessors() {
  std::vector<uint32_t> allowed;
  DWORD_PTR process = 0, system = 0;
  GROUP_AFFINITY thread = {};
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0 ||
      !GetThreadGroupAffinity(GetCurrentThread(), &thread))
    return allowed;
  for (uint32_t bit = 0; bit < 8 * sizeof(DWORD_PTR); ++bit)
    if ((process >> bit) & 1) allowed.push_back(thread.Group * 64u + bit);
  return allowed;
}
}  // namespace

bool MachineLayoutFromProcessorInformation(const void* bytes, size_t size, MachineLayout* layout) {
  layout->processors.clear();
  layout->caches.clear();
  layout->source = "GetLogicalProcessorInformationEx";
  std::vector<std::vector<uint32_t>> cores, packages;
  const uint8_t* const start = static_cast<const uint8_t*>(bytes);
  for (size_t offset = 0; offset < size;) {
    if (size - offset < kBodyAt) return false;
    const uint8_t* record = start + offset;
    const DWORD relation = ReadAt<DWORD>(record);
    const DWORD recordSize = ReadAt<DWORD>(record + 4);
    if (recordSize < kBodyAt || recordSize > size - offset) return false;
    const uint8_t* body = record + kBodyAt;
    const uint8_t* end = record + recordSize;
    if (relation == RelationProcessorCore || relation == RelationProcessorPackage) {
      if (body + kProcessorMasksAt > end) return false;
      std::vector<uint32_t> processors;
      if (!ReadGroupMasks(body + kProcessorMasksAt, end, ReadAt<WORD>(body + kProcessorGroupCountAt), &processors))
        return false;
      (relation == RelationProcessorCore ? cores : packages).push_back(processors);
    } else if (relation == RelationCache) {
      if (body + kCacheMasksAt > end) return false;
      const DWORD type = ReadAt<DWORD>(body + kCacheTypeAt);
      const WORD groupCount = ReadAt<WORD>(body + kCacheGroupCountAt);
      LayoutCache cache;
      cache.level = ReadAt<BYTE>(body);
      cache.sizeBytes = ReadAt<DWORD>(body + kCacheSizeAt);
      cache.lineSize = ReadAt<WORD>(body + kCacheLineSizeAt);
      if (!ReadGroupMasks(body + kCacheMasksAt, end, groupCount == 0 ? 1 : groupCount, &cache.processors)) return false;
      cache.sharedBy = static_cast<uint32_t>(cache.processors.size());
      if (type == CacheData || type == CacheUnified) layout->caches.push_back(cache);
    }
    offset += recordSize;
  }
  for (uint32_t core = 0; core < cores.size(); ++core) {
    for (uint32_t processor : cores[core]) {
      uint32_t package = 0;
      for (uint32_t p = 0; p < packages.size(); ++p)
        if (std::binary_search(packages[p].begin(), packages[p].end(), processor)) package = p;
      layout->processors.push_back(LayoutProcessor{processor, core, package});
    }
  }
  std::sort(layout->processors.begin(), layout->processors.end(),
            [](const LayoutProcessor& a, const LayoutProcessor& b) { return a.osNumber < b.osNumber; });
  std::stable_sort(layout->caches.begin(), layout->caches.end(),
                   [](const LayoutCache& a, const LayoutCache& b) { return a.level < b.level; });
  return !layout->processors.empty();
}

void RestrictMachineLayout(MachineLayout* layout, const std::vector<uint32_t>& allowed) {
  auto isAllowed = [&allowed](uint32_t processor) {
    return std::find(allowed.begin(), allowed.end(), processor) != allowed.end();
  };
  std::vector<LayoutProcessor> kept;
  std::vector<uint32_t> cores, packages;
  for (const LayoutProcessor& processor : layout->processors) {
    if (!isAllowed(processor.osNumber)) continue;
    kept.push_back(processor);
    cores.push_back(processor.core);
    packages.push_back(processor.package);
  }
  const std::map<uint32_t, uint32_t> coreIndex = Renumbering(cores), packageIndex = Renumbering(packages);
  for (LayoutProcessor& processor : kept) {
    processor.core = coreIndex.at(processor.core);
    processor.package = packageIndex.at(processor.package);
  }
  layout->processors = kept;
  std::vector<LayoutCache> caches;
  for (LayoutCache cache : layout->caches) {
    cache.processors.erase(std::remove_if(cache.processors.begin(), cache.processors.end(),
                                          [&isAllowed](uint32_t p) { return !isAllowed(p); }),
                           cache.processors.end());
    cache.sharedBy = static_cast<uint32_t>(cache.processors.size());
    if (!cache.processors.empty()) caches.push_back(cache);
  }
  layout->caches = caches;
}

bool ReadMachineLayout(MachineLayout* layout, std::string* error) {
  DWORD length = 0;
  GetLogicalProcessorInformationEx(RelationAll, nullptr, &length);
  std::vector<uint8_t> buffer(length);
  if (length == 0 || !GetLogicalProcessorInformationEx(
                         RelationAll, reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer.data()), &length)) {
    *error = "GetLogicalProcessorInformationEx failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!MachineLayoutFromProcessorInformation(buffer.data(), length, layout)) {
    *error = "GetLogicalProcessorInformationEx's answer names no core or runs past its end";
    return false;
  }
  const std::vector<uint32_t> allowed = AllowedProcessors();
  if (!allowed.empty()) RestrictMachineLayout(layout, allowed);
  if (layout->processors.empty()) {
    *error = "no processor of the process's affinity is in GetLogicalProcessorInformationEx's answer";
    return false;
  }
  return true;
}
