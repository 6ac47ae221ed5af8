#include "printing/settings_image.h"

#include <algorithm>

#include "imaging/little_endian.h"

namespace {

// The image's fields in stored order; field i lives at offset 4 * i.
constexpr std::uint32_t PrintDialogImage::*kImageFields[] = {
    &PrintDialogImage::lStructSize,     &PrintDialogImage::hwndOwner,
    &PrintDialogImage::hDevMode,        &PrintDialogImage::hDevNames,
    &PrintDialogImage::hDC,             &PrintDialogImage::Flags,
    &PrintDialogImage::Flags2,          &PrintDialogImage::ExclusionFlags,
    &PrintDialogImage::nPageRanges,     &PrintDialogImage::nMaxPageRanges,
    &PrintDialogImage::lpPageRanges,    &PrintDialogImage::nMinPage,
    &PrintDialogImage::nMaxPage,        &PrintDialogImage::nCopies,
    &PrintDialogImage::hInstance,       &PrintDialogImage::lpPrintTemplateName,
    &PrintDialogImage::lpCallback,      &PrintDialogImage::nPropertyPages,
    &PrintDialogImage::lphPropertyPages, &PrintDialogImage::nStartPage,
    &PrintDialogImage::dwResultAction,
};
static_assert(sizeof(kImageFields) / sizeof(kImageFields[0]) * 4 ==
                  kPrintDialogImageSize,
              "21 fields of 4 bytes");

// DEVMODEW: dmDeviceName (32 wide characters) at 0, dmSize at 68,
// dmDriverExtra at 70.
constexpr std::size_t kDeviceNameChars = 32;
constexpr std::size_t kDmSizeOffset = 68;
constexpr std::size_t kDmDriverExtraOffset = 70;
// dmFields (32 bits) at 72, dmOrientation (16 bits) at 76.
constexpr std::size_t kDmFieldsOffset = 72;
constexpr std::size_t kDmOrientationOffset = 76;
constexpr std::size_t kDmOrientationEnd = kDmOrientationOffset + 2;
constexpr std::uint32_t kDmOrientationBit = 1; // DM_ORIENTATION
constexpr std::uint16_t kDmOrientPortrait = 1; // DMORIENT_PORTRAIT

// Length of the NUL-terminated string starting at character `first` of a
// block of `chars` characters; `chars - first` when no NUL follows.
std::size_t StringLength(const unsigned char *p, std::size_t chars,
                         std::size_t first) {
  std::size_t n = 0;
  while (first + n < chars && ReadU16(p + 2 * (first + n)) != 0)
    ++n;
  return n;
}

std::u16string Characters(const unsigned char *p, std::size_t first,
                          std::size_t count) {
  std::u16string s;
  s.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    s.push_back(static_cast<char16_t>(ReadU16(p + 2 * (first + i))));
  return s;
}

} // namespace

void WritePrintDialogImage(const PrintDialogImage &image,
                           unsigned char (&out)[kPrintDialogImageSize]) {
  unsigned char *at = out;
  for (auto field : kImageFields) {
    WriteU32(at, image.*field);
    at += 4;
  }
}

bool ReadPrintDialogImage(const void *data, std::size_t size,
                          PrintDialogImage *image) {
  if (!data || !image || size != kPrintDialogImageSize)
    return false;
  const auto *p = static_cast<const unsigned char *>(data);
  PrintDialogImage read;
  for (auto field : kImageFields) {
    read.*field = ReadU32(p);
    p += 4;
  }
  *image = read;
  return true;
}

std::uint32_t GetDevModeSize(const void *block, std::size_t size) {
  if (!block || size < kDmDriverExtraOffset + 2)
    return 0;
  const auto *p = static_cast<const unsigned char *>(block);
  return std::uint32_t(ReadU16(p + kDmSizeOffset)) +
         std::uint32_t(ReadU16(p + kDmDriverExtraOffset));
}

bool ForceDevModePortrait(void *block, std::size_t size) {
  if (!block || size < kDmOrientationEnd)
    return false;
  auto *p = static_cast<unsigned char *>(block);
  if (ReadU16(p + kDmSizeOffset) < kDmOrientationEnd)
    return false;
  WriteU32(p + kDmFieldsOffset, ReadU32(p + kDmFieldsOffset) | kDmOrientationBit);
  WriteU16(p + kDmOrientationOffset, kDmOrientPortrait);
  return true;
}

std::size_t GetDevNamesSize(const void *block, std::size_t size) {
  if (!block || size < kMinDevNamesSize)
    return 0;
  const auto *p = static_cast<const unsigned char *>(block);
  const std::size_t chars = size / 2;
  std::size_t end = kMinDevNamesSize;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t offset = ReadU16(p + 2 * i);
    if (offset >= chars)
      return 0;
    const std::size_t length = StringLength(p, chars, offset);
    if (offset + length >= chars) // no NUL inside the block
      return 0;
    end = std::max(end, 2 * (offset + length) + 2);
  }
  return end;
}

std::u16string ReadDevNamesString(const void *block, std::size_t size,
                                  DevNamesString which) {
  if (!block || size < kMinDevNamesSize)
    return {};
  const auto *p = static_cast<const unsigned char *>(block);
  const std::size_t chars = size / 2;
  const std::size_t offset = ReadU16(p + 2 * static_cast<std::size_t>(which));
  if (offset >= chars)
    return {};
  return Characters(p, offset, StringLength(p, chars, offset));
}

std::u16string ReadDevModeDeviceName(const void *block, std::size_t size) {
  if (!block)
    return {};
  const auto *p = static_cast<const unsigned char *>(block);
  const std::size_t chars = std::min(size / 2, kDeviceNameChars);
  return Characters(p, 0, StringLength(p, chars, 0));
}
