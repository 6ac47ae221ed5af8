// Global memory: a lock that is released with its scope and a new block
// filled under its lock. GlobalBlock, the owned block, is in
// common/unique_handle.h.
#pragma once

#include <windows.h>

#include <cstddef>

#include "common/unique_handle.h"

// Locks a global block for the length of a scope. data() is null when the
// handle is null or the lock failed; size() is GlobalSize of the block, the
// number of bytes that may be touched.
class [[nodiscard]] GlobalLockGuard {
public:
  explicit GlobalLockGuard(HGLOBAL handle)
      : data_(handle ? GlobalLock(handle) : nullptr), size_(data_ ? GlobalSize(handle) : 0),
        lock_(data_ ? handle : nullptr) {}
  explicit GlobalLockGuard(const GlobalBlock &block) : GlobalLockGuard(block.get()) {}
  GlobalLockGuard(GlobalLockGuard &&) = delete;
  GlobalLockGuard &operator=(GlobalLockGuard &&) = delete;

  explicit operator bool() const { return data_ != nullptr; }
  void *data() const { return data_; }
  unsigned char *bytes() const { return static_cast<unsigned char *>(data_); }
  std::size_t size() const { return size_; }

private:
  void *data_;
  std::size_t size_;
  GlobalUnlocker lock_;
};

// A new movable, zero-filled block of `size` bytes, handed to `fill(data)`
// while locked. Empty, with nothing left allocated, when the allocation or
// the lock fails or `fill` answers false.
template <typename Fill> GlobalBlock NewFilledBlock(std::size_t size, Fill fill) {
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!block)
    return GlobalBlock();
  {
    GlobalLockGuard lock(block);
    if (!lock || !fill(lock.data()))
      return GlobalBlock();
  }
  return block;
}
