// One movable owner for every kind of handle the program frees itself: the
// handle type and the call that gives it back, one line per kind below.
#pragma once

#include <windows.h>

#include <utility>

// What an owner holds: a handle the program frees, or a lock (or other held
// state) it gives back. A lock is taken by the call that makes its owner and
// nothing else, so its owner offers no slot for a call to fill in.
enum class OwnerKind { Handle, Lock };

template <typename Handle, auto Close, OwnerKind Kind = OwnerKind::Handle> class UniqueHandle {
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
  // Hands the handle to a new owner; this one is empty afterwards. A handle
  // released and dropped would never be given back.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle()); }
  // Gives back the handle held (if any) and takes `handle`.
  void reset(Handle handle = Handle()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle())
      Close(old);
  }
  // Where a call that fills in a handle writes it (the held one is given
  // back first).
  template <OwnerKind K = Kind, typename = std::enable_if_t<K == OwnerKind::Handle>>
  Handle *put() {
    reset();
    return &handle_;
  }
  // The address of the held handle, for calls that read it through a pointer.
  template <OwnerKind K = Kind, typename = std::enable_if_t<K == OwnerKind::Handle>>
  Handle *addressof() {
    return &handle_;
  }

private:
  Handle handle_ = Handle();
};

// What a native image transfer handed over. Sources are asked for a global
// block; some hand a GDI bitmap instead (Wine's gphoto2.ds, for one). Either
// is given back by the call of its own kind.
inline BOOL FreeTransferredImage(HANDLE image) {
  if (GetObjectType(image) != 0)
    return DeleteObject(image);
  return GlobalFree(image) == nullptr;
}

// A global-memory block, freed with GlobalFree.
using GlobalBlock = UniqueHandle<HGLOBAL, GlobalFree>;
// A lock on a global-memory block, released with GlobalUnlock.
using GlobalUnlocker = UniqueHandle<HGLOBAL, GlobalUnlock, OwnerKind::Lock>;
// An open registry key.
using UniqueRegistryKey = UniqueHandle<HKEY, RegCloseKey>;
// A module loaded with LoadLibraryW.
using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;
// A device context made with CreateDCW.
using UniqueDC = UniqueHandle<HDC, DeleteDC>;
// A window this program created and destroys.
using UniqueWindow = UniqueHandle<HWND, DestroyWindow>;
// An entered critical section, left with LeaveCriticalSection.
using CriticalSectionLock =
    UniqueHandle<CRITICAL_SECTION *, LeaveCriticalSection, OwnerKind::Lock>;
// A kernel object handle (a process, a thread), closed with CloseHandle.
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle>;
// The argument array of CommandLineToArgvW, freed with LocalFree.
using LocalArgumentArray = UniqueHandle<LPWSTR *, LocalFree>;
// The image of a native transfer, whatever its kind (FreeTransferredImage).
using TransferredImage = UniqueHandle<HANDLE, FreeTransferredImage>;
// A GDI bitmap, deleted with DeleteObject.
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteObject>;

// Enters `section` and returns the lock that leaves it.
[[nodiscard]] inline CriticalSectionLock EnterCriticalSectionLock(CRITICAL_SECTION *section) {
  EnterCriticalSection(section);
  return CriticalSectionLock(section);
}
