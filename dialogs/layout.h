// Layout tables: how the controls of a resizable dialog move and stretch
// when its client area changes size. The walk over a table is plain
// arithmetic on rectangles; ApplyLayout (dialog_base.h) moves the controls.
#pragma once

#include <windef.h>

#include <cstdint>
#include <vector>

// One row of a layout table. The key holds the entry's place in the layout
// tree, one 4-bit digit per level from the most significant digit down
// (0x10000000 is a first-level entry, 0x12000000 its second child at level
// 1); a key of 0 ends the table. `rect` is filled in when the dialog starts.
struct LayoutEntry {
  std::uint32_t key;
  std::int32_t weight;
  std::uint32_t flags;
  std::int32_t controlId;
  RECT rect;
};

// Flags of a layout entry. The horizontal mode is flags & 0xF, the vertical
// mode flags & 0xF0.
enum LayoutFlags : std::uint32_t {
  kLayoutMoveHalfX = 0x2,    // left and right move by half the width change
  kLayoutMoveX = 0x3,        // left and right move by the width change
  kLayoutStretchX = 0x4,     // the right edge moves by the width change
  kLayoutMoveHalfY = 0x20,   // top and bottom move by half the height change
  kLayoutMoveY = 0x30,       // top and bottom move by the height change
  kLayoutStretchY = 0x40,    // the bottom edge moves by the height change
  kLayoutShareX = 0x1000,    // takes its weighted share of the width change,
                             // and later siblings start that much further right
  kLayoutShareY = 0x2000,    // the same for the height change, downwards
};

// Levels 0 to 7: one hex digit of the key each.
constexpr int kLayoutLevels = 8;

// Where one entry's control goes: the table row and its new rectangle in
// client coordinates.
struct LayoutPlacement {
  std::size_t index;
  RECT rect;
};

// Walks the children of `parentKey` at `level` (and, depth first, their own
// children) with the offset (x, y) and the size change (dx, dy), and lists
// every entry with a control, in the order the controls are to be moved:
// an entry's children before the entry itself.
std::vector<LayoutPlacement> ComputeLayout(const LayoutEntry *table, int level,
                                           std::uint32_t parentKey, std::int32_t x,
                                           std::int32_t y, std::int32_t dx, std::int32_t dy);

// The masks of one level: the digit itself, the digits below it and the
// digits above it.
struct LayoutLevelMasks {
  std::uint32_t digit;
  std::uint32_t lower;
  std::uint32_t prefix;
};
LayoutLevelMasks LayoutMasks(int level);
