#include "tools/twainsim/sim_ledger.h"

#include <cstdint>
#include <cstring>

namespace twainsim {

namespace {

struct Record {
  HANDLE handle;
  LedgerKind kind;
  int frees;
  // Its value was taken again while it was live, freed where the ledger
  // does not look (another module): neither a leak nor a double free.
  bool superseded;
};

// Enough for every block a test binary's sources hand out and its program
// allocates; once full, new handles are simply not followed.
constexpr std::size_t kMaxRecords = std::size_t(1) << 17;
Record g_records[kMaxRecords];
std::size_t g_recordCount = 0;
std::size_t g_firstCounted = 0;
std::size_t g_extraFrees = 0;
std::size_t g_extraFreesAtReset = 0;

// Handle value to its latest record, open addressing.
constexpr std::size_t kSlots = std::size_t(1) << 16;
struct Slot {
  HANDLE handle;
  std::size_t record;
};
Slot g_slots[kSlots];

std::size_t Hash(HANDLE handle) {
  const std::uint64_t v = std::uint64_t(reinterpret_cast<std::uintptr_t>(handle));
  return std::size_t((v * 0x9E3779B97F4A7C15ull) >> 40) & (kSlots - 1);
}

// The slot of `handle`, or the empty one where it would go; null when the
// table is full.
Slot *SlotFor(HANDLE handle) {
  std::size_t i = Hash(handle);
  for (std::size_t n = 0; n < kSlots; ++n, i = (i + 1) & (kSlots - 1)) {
    if (g_slots[i].handle == handle || g_slots[i].handle == nullptr)
      return &g_slots[i];
  }
  return nullptr;
}

Record *Latest(HANDLE handle) {
  if (handle == nullptr)
    return nullptr;
  Slot *slot = SlotFor(handle);
  if (slot == nullptr || slot->handle == nullptr)
    return nullptr;
  return &g_records[slot->record];
}

std::size_t NewRecord(HANDLE handle, LedgerKind kind) {
  if (handle == nullptr)
    return FreeLedger::kNoRecord;
  Slot *slot = SlotFor(handle);
  if (slot == nullptr || g_recordCount == kMaxRecords)
    return FreeLedger::kNoRecord;
  if (slot->handle != nullptr && g_records[slot->record].frees == 0)
    g_records[slot->record].superseded = true;
  g_records[g_recordCount] = Record{handle, kind, 0, false};
  slot->handle = handle;
  slot->record = g_recordCount;
  return g_recordCount++;
}

bool IsBlock(const Record &r) { return r.kind != LedgerKind::HandedGdiObject; }

// What the watched module's import table held before.
using GlobalAllocProc = HGLOBAL(WINAPI *)(UINT, SIZE_T);
using GlobalReAllocProc = HGLOBAL(WINAPI *)(HGLOBAL, SIZE_T, UINT);
using GlobalFreeProc = HGLOBAL(WINAPI *)(HGLOBAL);
using DeleteObjectProc = BOOL(WINAPI *)(HGDIOBJ);
GlobalAllocProc g_realAlloc = nullptr;
GlobalReAllocProc g_realReAlloc = nullptr;
GlobalFreeProc g_realFree = nullptr;
DeleteObjectProc g_realDeleteObject = nullptr;

HGLOBAL WINAPI WatchedGlobalAlloc(UINT flags, SIZE_T bytes) {
  HGLOBAL block = g_realAlloc(flags, bytes);
  NewRecord(block, LedgerKind::OwnBlock);
  return block;
}

HGLOBAL WINAPI WatchedGlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags) {
  HGLOBAL moved = g_realReAlloc(block, bytes, flags);
  if (moved != nullptr && moved != block) {
    // The old block went back with the move.
    if (Record *r = Latest(block); r != nullptr && IsBlock(*r) && r->frees == 0)
      r->frees = 1;
    NewRecord(moved, LedgerKind::OwnBlock);
  }
  return moved;
}

HGLOBAL WINAPI WatchedGlobalFree(HGLOBAL block) {
  Record *r = Latest(block);
  if (r != nullptr && IsBlock(*r)) {
    if (r->frees++ > 0) {
      ++g_extraFrees;
      SetLastError(ERROR_INVALID_HANDLE);
      return block; // as GlobalFree answers for a handle it does not know
    }
  }
  return g_realFree(block);
}

BOOL WINAPI WatchedDeleteObject(HGDIOBJ object) {
  Record *r = Latest(object);
  if (r != nullptr && r->kind == LedgerKind::HandedGdiObject) {
    if (r->frees++ > 0) {
      ++g_extraFrees;
      return FALSE;
    }
  }
  return g_realDeleteObject(object);
}

struct Patch {
  void **slot;
  void *original;
};
Patch g_patches[16];
std::size_t g_patchCount = 0;

void WriteSlot(void **slot, void *value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old))
    return;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
}

// Points every import of `name` by `module` at `replacement`; the value
// the first one held goes to *real.
template <typename Proc> bool PatchImport(HMODULE module, const char *name, Proc replacement,
                                          Proc *real) {
  auto *base = reinterpret_cast<unsigned char *>(module);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    return false;
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0)
    return false;
  bool patched = false;
  for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
       d->Name != 0; ++d) {
    if (d->OriginalFirstThunk == 0)
      continue; // no names to go by
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      const auto *byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char *>(byName->Name), name) != 0)
        continue;
      if (g_patchCount == sizeof g_patches / sizeof g_patches[0])
        return patched;
      void **slot = reinterpret_cast<void **>(&slots->u1.Function);
      if (*real == nullptr)
        *real = reinterpret_cast<Proc>(*slot);
      g_patches[g_patchCount++] = Patch{slot, *slot};
      WriteSlot(slot, reinterpret_cast<void *>(replacement));
      patched = true;
    }
  }
  return patched;
}

bool g_watching = false;

} // namespace

FreeLedger &FreeLedger::Process() {
  static FreeLedger ledger;
  return ledger;
}

bool FreeLedger::Watch(HMODULE module) {
  if (g_watching)
    return true;
  // The real calls stand ready before any slot points at a stand-in.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  HMODULE gdi = GetModuleHandleW(L"gdi32.dll");
  g_realAlloc = reinterpret_cast<GlobalAllocProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalAlloc")));
  g_realReAlloc = reinterpret_cast<GlobalReAllocProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalReAlloc")));
  g_realFree = reinterpret_cast<GlobalFreeProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalFree")));
  g_realDeleteObject = gdi != nullptr ? reinterpret_cast<DeleteObjectProc>(reinterpret_cast<void *>(
                                            GetProcAddress(gdi, "DeleteObject")))
                                      : nullptr;
  if (g_realAlloc == nullptr || g_realReAlloc == nullptr || g_realFree == nullptr)
    return false;
  // Each slot keeps what it held as the call to make: the module may have
  // been bound to something in between (another watcher).
  GlobalFreeProc free = nullptr;
  if (!PatchImport(module, "GlobalFree", &WatchedGlobalFree, &free))
    return false;
  g_realFree = free;
  GlobalAllocProc alloc = nullptr;
  if (PatchImport(module, "GlobalAlloc", &WatchedGlobalAlloc, &alloc))
    g_realAlloc = alloc;
  GlobalReAllocProc reAlloc = nullptr;
  if (PatchImport(module, "GlobalReAlloc", &WatchedGlobalReAlloc, &reAlloc))
    g_realReAlloc = reAlloc;
  DeleteObjectProc deleteObject = nullptr;
  if (g_realDeleteObject != nullptr &&
      PatchImport(module, "DeleteObject", &WatchedDeleteObject, &deleteObject))
    g_realDeleteObject = deleteObject;
  g_watching = true;
  return true;
}

void FreeLedger::Unwatch() {
  while (g_patchCount > 0) {
    const Patch &p = g_patches[--g_patchCount];
    WriteSlot(p.slot, p.original);
  }
  g_watching = false;
}

bool FreeLedger::Watching() const { return g_watching; }

std::size_t FreeLedger::HandOut(HANDLE handle, LedgerKind kind) {
  // A block the watched program allocated for the source (the simulator
  // runs inside it) becomes the handed-out one.
  if (Record *r = Latest(handle);
      r != nullptr && r->frees == 0 && !r->superseded && r->kind == LedgerKind::OwnBlock &&
      kind == LedgerKind::HandedBlock) {
    r->kind = kind;
    return std::size_t(r - g_records);
  }
  return NewRecord(handle, kind);
}

std::size_t FreeLedger::LiveRecordOf(HANDLE handle) const {
  const Record *r = Latest(handle);
  if (r == nullptr || r->frees != 0 || r->superseded)
    return kNoRecord;
  return std::size_t(r - g_records);
}

int FreeLedger::Frees(std::size_t record) const {
  if (record >= g_recordCount)
    return -1;
  return g_records[record].frees;
}

std::size_t FreeLedger::HandedNotFreed() const {
  std::size_t n = 0;
  for (std::size_t i = g_firstCounted; i < g_recordCount; ++i) {
    const Record &r = g_records[i];
    if (r.kind != LedgerKind::OwnBlock && r.frees == 0 && !r.superseded)
      ++n;
  }
  return n;
}

std::size_t FreeLedger::FreedTwice() const { return g_extraFrees - g_extraFreesAtReset; }

void FreeLedger::Reset() {
  g_firstCounted = g_recordCount;
  g_extraFreesAtReset = g_extraFrees;
}

} // namespace twainsim
