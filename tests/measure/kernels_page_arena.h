// Test support for the kernel tests: a run of pages whose access rights can be
// set page by page, and a record of every access fault inside it.
//
// A fault in the arena does not end the test: the fault handler records the
// address and whether it was a write, opens the page for reading and writing,
// and lets the faulting instruction run again. A test then asks for the
// record and checks that it is empty, or holds exactly the expected faults.
// Faults outside the arena crash as usual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kerneltest {

enum class Access { None, Read, ReadWrite };

struct Fault {
  uintptr_t address;
  bool write;
};

class PageArena {
 public:
  explicit PageArena(size_t pages);  // every page read/write at first
  ~PageArena();
  PageArena(const PageArena&) = delete;
  PageArena& operator=(const PageArena&) = delete;

  static size_t PageSize();
  uint8_t* Page(size_t index) const { return base_ + index * PageSize(); }
  void SetAccess(size_t firstPage, size_t count, Access access);
  // The faults recorded since the last call, oldest first; clears the record.
  std::vector<Fault> TakeFaults();

 private:
  uint8_t* base_;
  size_t pages_;
};

}  // namespace kerneltest
