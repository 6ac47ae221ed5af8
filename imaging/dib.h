// Packed device-independent bitmaps in movable global memory: the measures,
// the grey check and 1-bit conversion, and DibImage, the owner through which
// a scanned page is measured, drawn and released.
//
// Every function locks the block only while it works and believes the header
// only as far as the block (GlobalSize) holds what it describes; a bitmap
// that does not fit is answered like a block that cannot be locked: 0, null
// or false, nothing written. See imaging/dib_layout.h for the details.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_handle.h"
#include "imaging/dib_layout.h"
#include "imaging/grey_dib.h"

// Bit count of the bitmap in the block; 0 for a null handle, a failed lock
// or a bitmap that does not fit its block.
int DibBitCount(HGLOBAL dib);

// The grey check of NormalizeGreyPaletteBytes on a block; may rewrite an
// 8-bit grey image in place. False for a null handle or a failed lock.
bool NormalizeGreyPalette(HGLOBAL dib);

// Runs the grey check on the source (which may normalise it in place), then
// makes its 1-bit version in one new block (GMEM_MOVEABLE) when `bitCount`
// is 1 and the source is an 8-bit grey image. Empty otherwise: null handle,
// failed lock, a source that is not 8-bit grey, a requested bit count
// other than 1, failed allocation. The source is never freed here.
GlobalBlock ConvertDibDepth(HGLOBAL dib, int bitCount);

// Whether the block holds a bitmap this program can measure and draw: it
// can be locked, and the bitmap its header describes lies inside it.
bool IsUsableDib(HGLOBAL dib);

// Whether a handle names a global-memory block this process may free: a
// moveable block its handle table knows (with memory or, discarded,
// without), or fixed memory that is a block of the process heap.
bool IsGlobalBlock(HANDLE handle);

// The packed DIB of a GDI bitmap (a DIB section or a device-dependent
// bitmap), in a new movable block: 24 bits per pixel, bottom-up, with the
// DIB section's pixels per metre when it has them. Empty when the bitmap
// cannot be read. The bitmap stays with its owner.
GlobalBlock PackedDibFromBitmap(HBITMAP bitmap);

// StretchDIBits, or a stand-in with its signature.
using StretchDIBitsProc = int(WINAPI *)(HDC dc, int x, int y, int width, int height, int sourceX,
                                        int sourceY, int sourceWidth, int sourceHeight,
                                        const void *bits, const BITMAPINFO *info, UINT usage,
                                        DWORD rop);

enum ResolutionUnit : int {
  ResolutionPerInch = 1,  // dots per inch, rounded
  ResolutionPerMeter = 2, // pixels per metre as stored
};

// Owns one bitmap block; frees it on Free and on destruction.
class DibImage {
public:
  DibImage() = default;
  DibImage(const DibImage &) = delete;
  DibImage &operator=(const DibImage &) = delete;

  // Takes the block over from its owner; a block held before is freed first.
  void Attach(GlobalBlock dib);
  bool HasImage() const { return bool(dib_); }
  HGLOBAL Handle() const { return dib_.get(); }

  // Pixels and rows (positive); 0 without an image or a usable bitmap.
  std::int64_t GetWidth() const;
  std::int64_t GetHeight() const;
  // `unit` is ResolutionPerInch or ResolutionPerMeter. 0 for any other
  // unit, without an image or a usable bitmap, and for a resolution that is
  // not above 0.
  std::int64_t GetXResolution(int unit) const;
  std::int64_t GetYResolution(int unit) const;

  // StretchDIBits of the whole bitmap into the rectangle (x, y, width,
  // height) of `dc`; width and height both 0 draw at the image's own size.
  // False without an image, for an unusable bitmap or when GDI fails.
  // `stretch` is the call made (GDI's own unless a caller routes it).
  bool Draw(HDC dc, int x, int y, int width, int height,
            StretchDIBitsProc stretch = StretchDIBits) const;

  // Frees the block, if any; true.
  bool Free();

private:
  std::int64_t Resolution(std::size_t field, int unit) const;

  GlobalBlock dib_;
};
