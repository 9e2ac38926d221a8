// Test support for the kernel tests: pages whose access can be set page by
// page, and a record of every access fault inside them. A fault does not end
// the test: the handler records the address, opens the page and lets the
// instruction run again. Faults elsewhere crash as usual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kerneltest {

constexpr size_t kPageSize = 4096;  // x86
constexpr size_t kArenaPages = 16;
enum class Access { None, Read, ReadWrite };

uint8_t* ArenaPage(size_t index);  // the same pages on every call, read/write at first
void SetAccess(size_t firstPage, size_t count, Access access);
std::vector<uintptr_t> TakeFaults();  // the faulting addresses since the last call

}  // namespace kerneltest
