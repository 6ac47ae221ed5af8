// Grey palettes and the 8-bit grey to 1-bit conversion, on the bytes of a
// locked packed bitmap (see imaging/dib_layout.h for what "sound" means).
// Nothing here reads or writes outside the spans it is given.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes `count` 4-byte entries (blue, green, red, 0) of the ascending grey
// ramp: step 255 / (count - 1), or 255 below 2 entries; entry i is
// (step * i) mod 256. 2 entries give black and white, 256 give 0 ... 255.
void MakeGreyPalette(void *table, std::size_t count);

// The grey check on a sound bitmap with an info header, in place.
//
// The table counts only as far as a pixel can reach it: its first
// min(colours, 2^bits) entries (a biClrUsed above 256 on an 8-bit image
// leaves the surplus entries alone; biClrUsed 0 means the full 2^bits).
//   - Those entries already form the ascending ramp: true, nothing changes.
//   - Any of them not grey, or a 1- or 4-bit image: false, nothing changes.
//   - An 8-bit image with a grey table: every pixel is rewritten so that it
//     indexes the ramp entry nearest to the grey it showed, and the ramp is
//     installed; true. With 256 entries each pixel becomes its own grey
//     level (0 black, 255 white). With fewer entries (the table cannot grow
//     in place) each pixel becomes the index of the nearest of the n ramp
//     levels, and a pixel that indexed no entry at all becomes black.
// False, with nothing written, for a bitmap that is not sound, a core
// header, or a bit count other than 1, 4 or 8.
bool NormalizeGreyPaletteBytes(void *block, std::size_t size);

// The size of the block the 1-bit version of the bitmap needs, or 0 when
// it cannot be converted: it must be sound, 8-bit, uncompressed, with an
// info header and a table that is the ascending ramp (as left by
// NormalizeGreyPaletteBytes).
std::size_t MonoDibSize(const void *source, std::size_t sourceSize);

// Writes the 1-bit version of the source into `dest`, which must hold at
// least MonoDibSize bytes; false, with nothing written, when it cannot.
//
// The result: a 124-byte BITMAPV5HEADER made from the source's own header
// (so it keeps resolution, colour space and intent; a BITMAPINFOHEADER
// source gets sRGB and intent 4), positive height, 2 colours, then black and
// white, then the rows, then the source's colour profile when it had a
// linked or embedded one that lies inside its block (the header points at
// the copy). A profile that does not lie inside the source block is
// dropped, and the header says sRGB instead.
//
// A pixel is white when the grey of its ramp entry is 128 or more, so with
// 256 entries exactly when its value is 128 or more. Rows keep the image's
// orientation: a top-down source's first row becomes the last row of the
// bottom-up result. Padding bits and bytes are 0.
bool WriteMonoDib(const void *source, std::size_t sourceSize, void *dest, std::size_t destSize);
