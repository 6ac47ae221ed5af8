// One movable owner for every kind of handle the program frees itself: the
// handle type and the call that gives it back, one line per kind below.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle, auto Close> class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.release()) {}
  UniqueHandle &operator=(UniqueHandle &&other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle &) = delete;
  UniqueHandle &operator=(const UniqueHandle &) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle(); }
  // Hands the handle to a new owner; this one is empty afterwards.
  Handle release() { return std::exchange(handle_, Handle()); }
  // Gives back the handle held (if any) and takes `handle`.
  void reset(Handle handle = Handle()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle())
      Close(old);
  }
  // Where a call that fills in a handle writes it (the held one is given
  // back first).
  Handle *put() {
    reset();
    return &handle_;
  }
  // The address of the held handle, for calls that read it through a pointer.
  Handle *addressof() { return &handle_; }

private:
  Handle handle_ = Handle();
};

// A global-memory block, freed with GlobalFree.
using GlobalBlock = UniqueHandle<HGLOBAL, GlobalFree>;
// A lock on a global-memory block, released with GlobalUnlock.
using GlobalUnlocker = UniqueHandle<HGLOBAL, GlobalUnlock>;
// An open registry key.
using UniqueRegistryKey = UniqueHandle<HKEY, RegCloseKey>;
// A module loaded with LoadLibraryW.
using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;
// A device context made with CreateDCW.
using UniqueDC = UniqueHandle<HDC, DeleteDC>;
// A window this program created and destroys.
using UniqueWindow = UniqueHandle<HWND, DestroyWindow>;
// An entered critical section, left with LeaveCriticalSection.
using CriticalSectionLock = UniqueHandle<CRITICAL_SECTION *, LeaveCriticalSection>;
// A kernel object handle (a process, a thread), closed with CloseHandle.
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle>;
// The argument array of CommandLineToArgvW, freed with LocalFree.
using LocalArgumentArray = UniqueHandle<LPWSTR *, LocalFree>;

// Enters `section` and returns the lock that leaves it.
inline CriticalSectionLock EnterCriticalSectionLock(CRITICAL_SECTION *section) {
  EnterCriticalSection(section);
  return CriticalSectionLock(section);
}
