// The transfer kernels, one row each: every fact the survey, the benchmarks
// and the tests know about a kernel apart from its instructions in kernels.S
// or kernels_wide.S. A new kernel is its body in assembly and one row here;
// the machine-code test fails when either is there without the other, and
// checks every row's loop against the body. (The exact sweep calls its own
// fixed set by name; those names are rows here too, which that test checks.)
//
// Rows of the wide kernels exist only in x86-64 builds, which define
// LORVANTA_HAVE_WIDE_KERNELS; link lorvanta_kernel_registry to get it, so that
// every file of a program sees the same rows.
#pragma once
#include <cstdint>
#include <cstring>

#include "measure/kernels.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "measure/kernels_wide.h"
#elif defined(__x86_64__)
#error "x86-64 builds have the wide kernels: link lorvanta_kernel_registry"
#endif

enum KernelGroup : uint32_t { GroupRead = 0, GroupWrite = 1, GroupCopy = 2 };
constexpr uint32_t kKernelGroupCount = 3;

// Instruction sets, as bits of a mask.
enum KernelIsa : uint32_t {
  IsaMmx = 1u << 0,
  IsaSse = 1u << 1,
  IsaSse2 = 1u << 2,
  IsaAvx = 1u << 3,
  IsaAvx2 = 1u << 4,    // no kernel of its own: the 256-bit kernels need AVX only
  IsaAvx512 = 1u << 5,  // AVX-512F
  IsaRep = 1u << 6,     // the string instructions rep movsb / rep stosb
};
// The sets whose kernels live in kernels_wide.S.
constexpr uint32_t kWideIsas = IsaAvx | IsaAvx512 | IsaRep;

// The registers a kernel moves its data through. The k-th access of a loop
// step uses register k modulo `cycled` of its file (mm0..7, xmm0..7, ymm0..3,
// zmm0..3); the string routines use none.
enum KernelRegisters : uint32_t { RegMm, RegXmm, RegYmm, RegZmm, RegNone };
struct RegisterFile { const char* name; uint32_t bytes, cycled; };
constexpr RegisterFile kRegisterFiles[] = {{"mm", 8, 8}, {"xmm", 16, 8}, {"ymm", 32, 4}, {"zmm", 64, 4}, {"none", 0, 0}};

// Each loop step prefetches `count` lines, at `ahead`, ahead + spacing, ...
// bytes past the start of the step it loads.
enum PrefetchKind : uint32_t { PrefetchNone, PrefetchNta, PrefetchT0 };
struct Prefetch { PrefetchKind kind; uint32_t count, ahead, spacing; };
constexpr Prefetch kNoPrefetch = {PrefetchNone, 0, 0, 0};

enum StoreKind : uint32_t { StoreNone, StoreTemporal, StoreNonTemporal };
// What runs between the loop and the return.
enum Closing : uint32_t { CloseNone, CloseEmms, CloseSfence, CloseMfence, CloseVzeroupper, CloseSfenceVzeroupper };

using ReadKernel = void (*)(const void* source, uint32_t byteCount);
using WriteKernel = void (*)(void* destination, uint32_t byteCount);
using CopyKernel = void (*)(const void* source, void* destination, uint32_t byteCount);

struct KernelRow {
  const char* name;  // the routine's symbol
  KernelGroup group;
  KernelIsa isa;
  uint32_t step;  // bytes per loop step: a call moves its count cut to whole steps
  // The routine, in the pointer of its group; the other two are null.
  ReadKernel read;
  WriteKernel write;
  CopyKernel copy;
  KernelRegisters registers;
  Prefetch prefetch;
  StoreKind store;
  Closing closing;
};

#define LORVANTA_READ(name, isa, step, ...) KernelRow{#name, GroupRead, isa, step, name, nullptr, nullptr, __VA_ARGS__}
#define LORVANTA_WRITE(name, isa, step, ...) KernelRow{#name, GroupWrite, isa, step, nullptr, name, nullptr, __VA_ARGS__}
#define LORVANTA_COPY(name, isa, step, ...) KernelRow{#name, GroupCopy, isa, step, nullptr, nullptr, name, __VA_ARGS__}

// Columns: name, instruction set, step, registers, prefetch {kind, count,
// ahead, spacing}, store, closing. The survey's results refer to rows by
// index: add rows, do not reorder them.
inline constexpr KernelRow kernelRegistry[] = {
    LORVANTA_READ( ReadMmx,                IsaMmx,    128, RegMm,   kNoPrefetch,                        StoreNone,        CloseEmms),
    LORVANTA_READ( ReadMmxPrefetch,        IsaMmx,    64,  RegMm,   Prefetch{PrefetchNta, 3, 64, 64},   StoreNone,        CloseEmms),
    LORVANTA_READ( ReadSse,                IsaSse,    16,  RegXmm,  kNoPrefetch,                        StoreNone,        CloseSfence),
    LORVANTA_READ( ReadSsePrefetch,        IsaSse,    128, RegXmm,  Prefetch{PrefetchNta, 3, 64, 64},   StoreNone,        CloseSfence),
    LORVANTA_READ( ReadSse2,               IsaSse2,   16,  RegXmm,  kNoPrefetch,                        StoreNone,        CloseMfence),
    LORVANTA_READ( ReadSse2Prefetch,       IsaSse2,   16,  RegXmm,  Prefetch{PrefetchNta, 2, 256, 128}, StoreNone,        CloseMfence),
    LORVANTA_WRITE(WriteMmx,               IsaMmx,    64,  RegMm,   kNoPrefetch,                        StoreTemporal,    CloseEmms),
    LORVANTA_WRITE(WriteMmxNonTemporal,    IsaMmx,    64,  RegMm,   kNoPrefetch,                        StoreNonTemporal, CloseEmms),
    LORVANTA_WRITE(WriteSse,               IsaSse,    128, RegXmm,  kNoPrefetch,                        StoreTemporal,    CloseSfence),
    LORVANTA_WRITE(WriteSseNonTemporal,    IsaSse,    128, RegXmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfence),
    LORVANTA_WRITE(WriteSse2,              IsaSse2,   128, RegXmm,  kNoPrefetch,                        StoreTemporal,    CloseSfence),
    LORVANTA_WRITE(WriteSse2NonTemporal,   IsaSse2,   128, RegXmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfence),
    LORVANTA_COPY( CopyMmx,                IsaMmx,    128, RegMm,   kNoPrefetch,                        StoreTemporal,    CloseEmms),
    LORVANTA_COPY( CopyMmxNonTemporal,     IsaMmx,    128, RegMm,   Prefetch{PrefetchT0, 2, 0, 64},     StoreNonTemporal, CloseEmms),
    LORVANTA_COPY( CopySseNonTemporal,     IsaSse,    128, RegXmm,  Prefetch{PrefetchT0, 2, 0, 64},     StoreNonTemporal, CloseSfence),
    LORVANTA_COPY( CopySse2,               IsaSse2,   128, RegXmm,  kNoPrefetch,                        StoreTemporal,    CloseSfence),
#ifdef LORVANTA_HAVE_WIDE_KERNELS
    LORVANTA_READ( ReadAvx,                IsaAvx,    128, RegYmm,  kNoPrefetch,                        StoreNone,        CloseVzeroupper),
    LORVANTA_READ( ReadAvxPrefetch,        IsaAvx,    128, RegYmm,  Prefetch{PrefetchT0, 2, 512, 64},   StoreNone,        CloseVzeroupper),
    LORVANTA_READ( ReadAvx512,             IsaAvx512, 256, RegZmm,  kNoPrefetch,                        StoreNone,        CloseVzeroupper),
    LORVANTA_READ( ReadAvx512Prefetch,     IsaAvx512, 256, RegZmm,  Prefetch{PrefetchT0, 4, 512, 64},   StoreNone,        CloseVzeroupper),
    LORVANTA_WRITE(WriteAvx,               IsaAvx,    128, RegYmm,  kNoPrefetch,                        StoreTemporal,    CloseVzeroupper),
    LORVANTA_WRITE(WriteAvxNonTemporal,    IsaAvx,    128, RegYmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfenceVzeroupper),
    LORVANTA_WRITE(WriteAvx512,            IsaAvx512, 256, RegZmm,  kNoPrefetch,                        StoreTemporal,    CloseVzeroupper),
    LORVANTA_WRITE(WriteAvx512NonTemporal, IsaAvx512, 256, RegZmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfenceVzeroupper),
    LORVANTA_WRITE(WriteRepStosb,          IsaRep,    1,   RegNone, kNoPrefetch,                        StoreTemporal,    CloseNone),
    LORVANTA_COPY( CopyAvx,                IsaAvx,    128, RegYmm,  kNoPrefetch,                        StoreTemporal,    CloseVzeroupper),
    LORVANTA_COPY( CopyAvxNonTemporal,     IsaAvx,    128, RegYmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfenceVzeroupper),
    LORVANTA_COPY( CopyAvx512,             IsaAvx512, 256, RegZmm,  kNoPrefetch,                        StoreTemporal,    CloseVzeroupper),
    LORVANTA_COPY( CopyAvx512NonTemporal,  IsaAvx512, 256, RegZmm,  kNoPrefetch,                        StoreNonTemporal, CloseSfenceVzeroupper),
    LORVANTA_COPY( CopyRepMovsb,           IsaRep,    1,   RegNone, kNoPrefetch,                        StoreTemporal,    CloseNone),
#endif
};
constexpr uint32_t kKernelCount = sizeof kernelRegistry / sizeof kernelRegistry[0];

#undef LORVANTA_READ
#undef LORVANTA_WRITE
#undef LORVANTA_COPY

// The named row; null when the registry has none of that name.
inline const KernelRow* KernelNamed(const char* name) {
  for (const KernelRow& row : kernelRegistry)
    if (std::strcmp(row.name, name) == 0) return &row;
  return nullptr;
}
