// The scanner capability profile: reading the capability containers a
// source returns (plain functions over the container's bytes), and the
// process-wide ScannerProfileCache that keeps each scanner's profile so its
// source is opened at most once per process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "twain/scanner_profile.h"
#include "twain/twain.h"

// Scanners whose capabilities are never read: opening them for a query is
// known to go wrong.
constexpr std::uint32_t kUnqueriedScannerIds[2] = {0x5E04618Cu, 0xFEE356DFu};
bool IsUnqueriedScanner(std::uint32_t scannerId);

// Sets flags[v] for every value v below `count` that a pixel-type or unit
// container lists: an array or enumeration of 16-bit items (TWTY_INT16 or
// TWTY_UINT16), or a one value (its 32-bit item, any item type). Items are
// read only as far as `size` (the block's GlobalSize) holds them, whatever
// NumItems claims. Returns the number of items read.
std::size_t ReadFlagContainer(TW_UINT16 conType, const std::uint8_t *container, std::size_t size,
                              bool *flags, std::size_t count);

// Fills the resolution fields of the profile from an ICAP_XRESOLUTION
// container of TWTY_FIX32: an enumeration or one value gives the list
// (bResolutionArray), a range gives min, max and step (bResolutionRange).
// Like ReadFlagContainer, an enumeration counts only the items its block
// holds. False, with nothing changed, for anything else.
bool ReadResolutionContainer(TW_UINT16 conType, const std::uint8_t *container, std::size_t size,
                             ScannerProfile &profile);

// The cache: one per process, created on first use, released at exit.
// Entries are only ever added. Finding and inserting are guarded by one
// critical section; creating the cache is not, so the first use must not
// race another.
bool FindCachedProfile(std::uint32_t scannerId, ScannerProfile &profile);
// Inserts a copy of the profile under its ScannerId unless one is there.
void StoreCachedProfile(const ScannerProfile &profile);
