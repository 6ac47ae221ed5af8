// What the main dialog's controls mean, as plain values: the scale the copy
// job gets, the mode from the list's selection and the copies. The rule that
// keeps a second operation from starting inside a running one is the
// dialog's ReentryGuard (common/reentry_guard.h).
#pragma once

#include <cstdint>

// The scale in 1/100 percent. With the percent option: the field's number as
// a 32-bit integer times 100; a field reading 0, empty or negative (a pasted
// minus sign gets past ES_NUMBER) gives 0, which no job may receive.
// Otherwise the table scale for the paper lists' selected indexes.
std::uint32_t ScaleFromDialog(bool percentChosen, std::int64_t percentField, int sourceIndex,
                              int destinationIndex);

// The whole percentage the percent field shows for a scale: 14138 shows 141.
std::int64_t PercentShown(std::uint32_t scale);

// The copies field's number, low 32 bits. 0 is a valid request (scan, print
// nothing); a negative number (pasted) is refused: false, as its low 32 bits
// would ask for billions of pages.
bool CopiesFromDialog(std::int64_t copiesField, std::uint32_t *copies);

// The mode list's selection as a TWAIN pixel type: 1 grey, 2 colour, anything
// else (0, or no selection) black and white.
std::int32_t ModeFromSelection(std::int64_t selection);
