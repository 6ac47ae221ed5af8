// Byte layouts of the stored printer settings. Plain functions over byte
// spans: no window, no global handle, no <windows.h>, so that the same code
// reads what a 32-bit and a 64-bit build of the copier have written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// PRINTDLGEXW is stored in its 32-bit layout on every build: 21 little-endian
// 32-bit fields, 84 bytes.
constexpr std::size_t kPrintDialogImageSize = 84;
// A stored DEVMODEW must hold at least the public fields of a Unicode DEVMODE.
constexpr std::size_t kMinStoredDevModeSize = 220;
// A DEVNAMES block is at least its four 16-bit words.
constexpr std::size_t kMinDevNamesSize = 8;

// The fields of PRINTDLGEXW in the order of the stored image; handles and
// pointers are 32-bit numbers here, as a 32-bit build has them.
struct PrintDialogImage {
  std::uint32_t lStructSize = 0;
  std::uint32_t hwndOwner = 0;
  std::uint32_t hDevMode = 0;
  std::uint32_t hDevNames = 0;
  std::uint32_t hDC = 0;
  std::uint32_t Flags = 0;
  std::uint32_t Flags2 = 0;
  std::uint32_t ExclusionFlags = 0;
  std::uint32_t nPageRanges = 0;
  std::uint32_t nMaxPageRanges = 0;
  std::uint32_t lpPageRanges = 0;
  std::uint32_t nMinPage = 0;
  std::uint32_t nMaxPage = 0;
  std::uint32_t nCopies = 0;
  std::uint32_t hInstance = 0;
  std::uint32_t lpPrintTemplateName = 0;
  std::uint32_t lpCallback = 0;
  std::uint32_t nPropertyPages = 0;
  std::uint32_t lphPropertyPages = 0;
  std::uint32_t nStartPage = 0;
  std::uint32_t dwResultAction = 0;
};

// Writes the 84-byte image.
void WritePrintDialogImage(const PrintDialogImage &image,
                           unsigned char (&out)[kPrintDialogImageSize]);
// Reads an image; false, leaving *image untouched, unless size is exactly 84.
bool ReadPrintDialogImage(const void *data, std::size_t size,
                          PrintDialogImage *image);

// dmSize + dmDriverExtra of a DEVMODEW block of `size` bytes, both read as
// 16-bit unsigned numbers; 0 when the block is too short to hold them.
std::uint32_t GetDevModeSize(const void *block, std::size_t size);

// Asks for portrait in a DEVMODEW block: DM_ORIENTATION (1) in dmFields and
// DMORIENT_PORTRAIT (1) in dmOrientation. Both are written only when the
// block's own dmSize reaches past dmOrientation (and the block holds them):
// what lies beyond dmSize belongs to the driver, so a device mode too small
// to carry an orientation keeps whatever orientation its driver gives it.
// True when the fields were written.
bool ForceDevModePortrait(void *block, std::size_t size);

// The size in bytes that a DEVNAMES block occupies: the largest of 8 and,
// for each of its three offsets o, 2 * (o + length of the string at o) + 2.
// Counts only within the `size` bytes given: 0 when the block is shorter
// than 8 bytes, an offset lies outside it or a string has no NUL inside it.
std::size_t GetDevNamesSize(const void *block, std::size_t size);

// Which string of a DEVNAMES block: the order of its offset words.
enum class DevNamesString { Driver = 0, Device = 1, Output = 2 };

// The string at one of the offsets, up to its NUL or the end of the block;
// empty when the offset lies outside the block.
std::u16string ReadDevNamesString(const void *block, std::size_t size,
                                  DevNamesString which);

// dmDeviceName of a DEVMODEW block: up to its first NUL, at most 32
// characters, never beyond the block.
std::u16string ReadDevModeDeviceName(const void *block, std::size_t size);
