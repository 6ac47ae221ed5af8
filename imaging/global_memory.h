// Small owners for global memory: a lock that is released with its scope,
// an owned block that is freed unless released to a new owner, and a new
// block filled under its lock.
#pragma once

#include <windows.h>

#include <cstddef>

// Locks a global block for the length of a scope. data() is null when the
// handle is null or the lock failed; size() is GlobalSize of the block, the
// number of bytes that may be touched.
class GlobalLockGuard {
public:
  explicit GlobalLockGuard(HGLOBAL handle)
      : handle_(handle), data_(handle ? GlobalLock(handle) : nullptr),
        size_(data_ ? GlobalSize(handle) : 0) {}
  ~GlobalLockGuard() {
    if (data_)
      GlobalUnlock(handle_);
  }
  GlobalLockGuard(const GlobalLockGuard &) = delete;
  GlobalLockGuard &operator=(const GlobalLockGuard &) = delete;

  explicit operator bool() const { return data_ != nullptr; }
  void *data() const { return data_; }
  unsigned char *bytes() const { return static_cast<unsigned char *>(data_); }
  std::size_t size() const { return size_; }

private:
  HGLOBAL handle_;
  void *data_;
  std::size_t size_;
};

// Owns a global block until release() hands it on.
class GlobalBlock {
public:
  GlobalBlock() = default;
  explicit GlobalBlock(HGLOBAL handle) : handle_(handle) {}
  ~GlobalBlock() { reset(); }
  GlobalBlock(const GlobalBlock &) = delete;
  GlobalBlock &operator=(const GlobalBlock &) = delete;

  HGLOBAL get() const { return handle_; }
  HGLOBAL release() {
    HGLOBAL h = handle_;
    handle_ = nullptr;
    return h;
  }
  void reset(HGLOBAL handle = nullptr) {
    if (handle_)
      GlobalFree(handle_);
    handle_ = handle;
  }

private:
  HGLOBAL handle_ = nullptr;
};

// A new movable, zero-filled block of `size` bytes, handed to `fill(data)`
// while locked. Null, with nothing left allocated, when the allocation or
// the lock fails or `fill` answers false.
template <typename Fill> HGLOBAL NewFilledBlock(std::size_t size, Fill fill) {
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!block.get())
    return nullptr;
  {
    GlobalLockGuard lock(block.get());
    if (!lock || !fill(lock.data()))
      return nullptr;
  }
  return block.release();
}
