// The simulator's account of what the application gives back: every global
// block and bitmap a source hands out, every block the watched program
// allocates itself, and each time one of them is freed.
//
// Windows does not say when a handle is freed twice: once its value has
// been taken by a new block, a second GlobalFree frees that block instead.
// So the ledger watches the calls themselves. Watch points the import table
// of one module (the program's own) at stand-ins for GlobalAlloc,
// GlobalReAlloc, GlobalFree and DeleteObject that count and then call the
// real ones. A handed-out block counts as given back by GlobalFree, a
// handed-out GDI object by DeleteObject. A free of a record already freed (whose value no block watched
// since has taken) is a double free: it is counted and not passed on, so
// the process goes on unharmed and the test that asked can fail.
//
// The stand-ins allocate nothing (fixed tables), so they may run inside any
// allocation of the process. Single-threaded, like the rest of the
// simulator.
#pragma once

#include <windows.h>

#include <cstddef>

namespace twainsim {

enum class LedgerKind {
  OwnBlock,    // a block the watched program allocated itself
  HandedBlock, // a global block a source handed to the application
  HandedGdiObject // a GDI object (a bitmap) a source handed to the application
};

class FreeLedger {
public:
  // Number of a record; kNoRecord when the tables are full.
  static constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);

  // The process's one ledger.
  static FreeLedger &Process();

  // Points `module`'s imports of the four calls at the stand-ins; true when
  // at least GlobalFree was found. Watching again changes nothing.
  bool Watch(HMODULE module);
  // Puts the import table back as it was.
  void Unwatch();
  bool Watching() const;

  // A block or bitmap handed to the application; its frees count from now.
  std::size_t HandOut(HANDLE handle, LedgerKind kind);
  // The live record of a block the watched program allocated (the
  // containers it sends), kNoRecord when none is known.
  std::size_t LiveRecordOf(HANDLE handle) const;
  // How often record n was given back: 0 not yet, 1 once, more when it was
  // freed twice (the extra frees were not passed on). -1 for kNoRecord.
  int Frees(std::size_t record) const;

  // Of the records created since the last Reset: handed-out ones not given
  // back, and any record given back more than once.
  std::size_t HandedNotFreed() const;
  std::size_t FreedTwice() const;
  // Starts the counts of HandedNotFreed and FreedTwice afresh (records
  // already made stay known, so their frees are still recognised).
  void Reset();

private:
  FreeLedger() = default;
};

} // namespace twainsim
