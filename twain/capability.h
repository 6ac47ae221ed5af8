// TW_FIX32 arithmetic, item sizes and container reading as plain functions
// over values and byte spans: no handle, no lock, no window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "twain/twain.h"

TW_FIX32 FloatToFix32(float value);
double Fix32ToFloat(TW_FIX32 value);
// Whole is the integer's low 16 bits, Frac 0.
TW_FIX32 IntToFix32(std::int32_t value);
// The 32 bits a TW_FIX32 occupies as a TW_ONEVALUE item.
TW_UINT32 Fix32Bits(TW_FIX32 value);
TW_FIX32 Fix32FromBits(TW_UINT32 bits);

// Byte size of one item of a TWTY type; 0 for a type outside TWTY_INT8 ..
// TWTY_STR255.
std::size_t TwainItemSize(TW_UINT16 itemType);

// Equal types, or integer types (TWTY_INT8 .. TWTY_UINT32) of the same size.
bool ItemTypesCompatible(TW_UINT16 requested, TW_UINT16 actual);

// Copies the current value of a capability container (as a source returns
// it to MSG_GETCURRENT) into out, which holds at least TwainItemSize of the
// requested type. The container is given as its bytes and its ConType.
// Enumerations give item CurrentIndex, one values their Item, ranges their
// CurrentValue; anything else, an incompatible item type, or a container
// too short for what it claims gives false and leaves out alone.
bool ReadCurrentValue(TW_UINT16 conType, const std::uint8_t *container, std::size_t size,
                      TW_UINT16 requestedType, void *out);

// The program's brightness runs from -1000 to 1000; a value beyond counts
// as the nearer end, so that no caller can push a source past its range or
// the arithmetic below past its types.
std::int32_t ClampBrightness(std::int32_t brightness);

// The program's brightness (-1000 .. 1000) fitted to what the source
// reported for ICAP_BRIGHTNESS: a one value of TWTY_FIX32 is kept as the
// source has it, a range of TWTY_FIX32 is scaled linearly; anything else,
// or a container too short, returns brightness unchanged.
std::int32_t MapBrightnessFromContainer(TW_UINT16 conType, const std::uint8_t *container,
                                        std::size_t size, std::int32_t brightness);

// The black/white threshold 0..255 derived from the brightness.
std::int32_t ThresholdFromBrightness(std::int32_t brightness);

// One side of the scan frame: 1/100 mm to inches in TW_FIX32, rounded to the
// nearest 1/65536 inch for non-negative lengths.
TW_FIX32 HundredthsMmToFix32(std::int32_t value);
