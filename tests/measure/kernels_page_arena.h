// Test support for the kernel tests: a run of pages whose access can be set
// page by page, and a record of every access fault inside it. A fault does not
// end the test: the handler records the address, opens the page and lets the
// instruction run again. Faults outside the arena crash as usual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kerneltest {

enum class Access { None, Read };

class PageArena {  // one at a time
 public:
  explicit PageArena(size_t pages);  // every page read/write at first
  ~PageArena();
  PageArena(const PageArena&) = delete;
  PageArena& operator=(const PageArena&) = delete;

  static size_t PageSize();
  uint8_t* Page(size_t index) const { return base_ + index * PageSize(); }
  void SetAccess(size_t firstPage, size_t count, Access access);
  std::vector<uintptr_t> TakeFaults();  // the faulting addresses since the last call

 private:
  uint8_t* base_;
  size_t pages_;
};

}  // namespace kerneltest
