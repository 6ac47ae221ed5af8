// The stored byte layouts, without registry or printer.
#include <gtest/gtest.h>

#include "imaging/little_endian.h"
#include "printing/settings_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void PutString(Bytes &b, std::size_t charOffset, const std::u16string &s) {
  for (std::size_t i = 0; i < s.size(); ++i)
    WriteU16(&b[2 * (charOffset + i)], s[i]);
  WriteU16(&b[2 * (charOffset + s.size())], 0);
}

// A DEVNAMES block of `size` bytes with the given offsets and strings.
Bytes DevNames(std::size_t size, std::uint16_t driver, std::uint16_t device,
               std::uint16_t output, const std::u16string &driverText,
               const std::u16string &deviceText,
               const std::u16string &outputText) {
  Bytes b(std::max<std::size_t>(size, 8), 0xEE);
  WriteU16(&b[0], driver);
  WriteU16(&b[2], device);
  WriteU16(&b[4], output);
  WriteU16(&b[6], 1);
  if (2 * (driver + driverText.size() + 1) <= size)
    PutString(b, driver, driverText);
  if (2 * (device + deviceText.size() + 1) <= size)
    PutString(b, device, deviceText);
  if (2 * (output + outputText.size() + 1) <= size)
    PutString(b, output, outputText);
  b.resize(size); // a block shorter than its header words
  return b;
}

} // namespace

TEST(PrintDialogImage, EachFieldAtItsOffsetLittleEndian) {
  // Field i holds 0xA0B0C0D0 + i, so that a swapped pair or a wrong byte
  // order shows.
  PrintDialogImage image;
  std::uint32_t *fields[] = {
      &image.lStructSize,    &image.hwndOwner,        &image.hDevMode,
      &image.hDevNames,      &image.hDC,              &image.Flags,
      &image.Flags2,         &image.ExclusionFlags,   &image.nPageRanges,
      &image.nMaxPageRanges, &image.lpPageRanges,     &image.nMinPage,
      &image.nMaxPage,       &image.nCopies,          &image.hInstance,
      &image.lpPrintTemplateName, &image.lpCallback,  &image.nPropertyPages,
      &image.lphPropertyPages, &image.nStartPage,     &image.dwResultAction};
  ASSERT_EQ(21u, sizeof fields / sizeof fields[0]);
  for (std::uint32_t i = 0; i < 21; ++i)
    *fields[i] = 0xA0B0C0D0u + i;

  unsigned char bytes[kPrintDialogImageSize];
  std::memset(bytes, 0x55, sizeof bytes);
  WritePrintDialogImage(image, bytes);
  for (std::uint32_t i = 0; i < 21; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(0xD0 + i, bytes[4 * i]);
    EXPECT_EQ(0xC0, bytes[4 * i + 1]);
    EXPECT_EQ(0xB0, bytes[4 * i + 2]);
    EXPECT_EQ(0xA0, bytes[4 * i + 3]);
  }

  PrintDialogImage back;
  ASSERT_TRUE(ReadPrintDialogImage(bytes, sizeof bytes, &back));
  EXPECT_EQ(0, std::memcmp(&image, &back, sizeof image));
}

TEST(PrintDialogImage, ReadsWhatA32BitBuildWrote) {
  // lStructSize 84, Flags 0x0090000C, nCopies 1, nStartPage
  // START_PAGE_GENERAL, dwResultAction 2, as bytes.
  unsigned char bytes[kPrintDialogImageSize] = {};
  bytes[0] = 84;
  bytes[20] = 0x0C; bytes[22] = 0x90;
  bytes[52] = 1;
  bytes[76] = bytes[77] = bytes[78] = bytes[79] = 0xFF;
  bytes[80] = 2;
  PrintDialogImage image;
  ASSERT_TRUE(ReadPrintDialogImage(bytes, sizeof bytes, &image));
  EXPECT_EQ(84u, image.lStructSize);
  EXPECT_EQ(0x0090000Cu, image.Flags);
  EXPECT_EQ(1u, image.nCopies);
  EXPECT_EQ(0xFFFFFFFFu, image.nStartPage);
  EXPECT_EQ(2u, image.dwResultAction);
  EXPECT_EQ(0u, image.hwndOwner);
}

TEST(PrintDialogImage, OnlyExactly84BytesAreRead) {
  unsigned char bytes[100] = {};
  bytes[0] = 84;
  for (std::size_t size : {0u, 4u, 83u, 85u, 100u}) {
    PrintDialogImage image;
    image.nCopies = 7;
    EXPECT_FALSE(ReadPrintDialogImage(bytes, size, &image)) << size;
    EXPECT_EQ(7u, image.nCopies) << size; // untouched
  }
  PrintDialogImage image;
  EXPECT_FALSE(ReadPrintDialogImage(nullptr, 84, &image));
  EXPECT_TRUE(ReadPrintDialogImage(bytes, 84, &image));
}

TEST(DevModeSize, SumOfSizeAndDriverExtra) {
  struct Case {
    std::size_t blockSize;
    std::uint16_t dmSize, dmDriverExtra;
    std::uint32_t expected;
  } cases[] = {
      {228, 220, 8, 228},
      {220, 220, 0, 220},
      {300, 0xFFFF, 0xFFFF, 0x1FFFE}, // both unsigned, no 16-bit wrap
      {72, 220, 8, 228},              // measured, not checked against the block
      {71, 220, 8, 0},                // dmDriverExtra not inside
      {0, 220, 8, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.blockSize);
    Bytes b(std::max<std::size_t>(c.blockSize, 72), 0);
    WriteU16(&b[68], c.dmSize);
    WriteU16(&b[70], c.dmDriverExtra);
    EXPECT_EQ(c.expected, GetDevModeSize(b.data(), c.blockSize));
  }
  EXPECT_EQ(0u, GetDevModeSize(nullptr, 228));
}

TEST(DevModePortrait, WrittenOnlyWhereDmSizeCoversTheFields) {
  struct Case {
    std::size_t blockSize;
    std::uint16_t dmSize, dmDriverExtra;
    bool written;
  } cases[] = {
      {228, 220, 8, true},
      {220, 78, 142, true},  // dmOrientation is the last public field it holds
      {220, 77, 143, false}, // its second byte would be the driver's
      {220, 76, 144, false}, // dmFields only: half a request is none
      {220, 68, 152, false}, // even dmFields lies in the driver's bytes
      {77, 220, 8, false},   // the block ends inside dmOrientation
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.dmSize);
    Bytes b(c.blockSize, 0);
    for (std::size_t i = 72; i < b.size(); ++i)
      b[i] = std::uint8_t(0x40 + i);
    WriteU16(&b[68], c.dmSize);
    WriteU16(&b[70], c.dmDriverExtra);
    const Bytes before = b;
    EXPECT_EQ(c.written, ForceDevModePortrait(b.data(), b.size()));
    if (!c.written) {
      EXPECT_EQ(before, b);
      continue;
    }
    // dmFields gains DM_ORIENTATION and keeps its other bits.
    EXPECT_EQ(ReadU32(&before[72]) | 1u, ReadU32(&b[72]));
    EXPECT_EQ(1, ReadU16(&b[76]));
    EXPECT_TRUE(std::equal(before.begin() + 78, before.end(), b.begin() + 78));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 72, b.begin()));
  }
  EXPECT_FALSE(ForceDevModePortrait(nullptr, 228));
}

TEST(DevNamesSize, LargestEndOfTheThreeStrings) {
  struct Case {
    const char *what;
    Bytes block;
    std::size_t expected;
  } cases[] = {
      {"example: 2*(22+5)+2",
       DevNames(56, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:"), 56},
      {"same block inside a larger one",
       DevNames(70, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:"), 56},
      {"the device string ends last",
       DevNames(80, 4, 20, 10, u"drv", u"LongDeviceName", u"port"), 70},
      {"three empty strings at 4",
       DevNames(10, 4, 4, 4, u"", u"", u""), 10},
      {"strings ending before byte 8 still give 8",
       DevNames(8, 0, 0, 0, u"", u"", u""), 8},
      {"7 bytes", DevNames(7, 3, 3, 3, u"", u"", u""), 0},
      {"offset beyond the block",
       DevNames(56, 4, 13, 28, u"wineps.d", u"Zelvanto", u"x"), 0},
      {"offset far beyond the block",
       DevNames(56, 4, 0xFFFF, 22, u"wineps.d", u"x", u"CUPS:"), 0},
      {"last string cut off by the end",
       DevNames(54, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:"), 0},
      {"odd size: the NUL's second byte outside",
       DevNames(55, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:"), 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, GetDevNamesSize(c.block.data(), c.block.size()));
  }
  EXPECT_EQ(0u, GetDevNamesSize(nullptr, 56));
}

TEST(DevNamesSize, StringWithoutNulInsideIsRefused) {
  Bytes b = DevNames(56, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:");
  WriteU16(&b[2 * 27], u'!'); // the output string's NUL, the block's last word
  EXPECT_EQ(0u, GetDevNamesSize(b.data(), b.size()));
  WriteU16(&b[2 * 27], 0);
  WriteU16(&b[2 * 21], u'!'); // the device string now runs into the output one
  EXPECT_EQ(56u, GetDevNamesSize(b.data(), b.size()));
}

TEST(DevNamesString, ReadsWithinTheBlock) {
  const Bytes b = DevNames(56, 4, 13, 22, u"wineps.d", u"Zelvanto", u"CUPS:");
  EXPECT_EQ(u"wineps.d", ReadDevNamesString(b.data(), b.size(), DevNamesString::Driver));
  EXPECT_EQ(u"Zelvanto", ReadDevNamesString(b.data(), b.size(), DevNamesString::Device));
  EXPECT_EQ(u"CUPS:", ReadDevNamesString(b.data(), b.size(), DevNamesString::Output));
  // A string cut by the end of the block stops there.
  EXPECT_EQ(u"CUP", ReadDevNamesString(b.data(), 50, DevNamesString::Output));
  EXPECT_EQ(u"", ReadDevNamesString(b.data(), 44, DevNamesString::Output));
  EXPECT_EQ(u"", ReadDevNamesString(b.data(), 7, DevNamesString::Driver));
  const Bytes outside = DevNames(20, 4, 200, 4, u"d", u"", u"");
  EXPECT_EQ(u"", ReadDevNamesString(outside.data(), outside.size(), DevNamesString::Device));
}

TEST(DevModeDeviceName, UpToNulAtMost32Characters) {
  Bytes b(228, 0);
  PutString(b, 0, u"ZelvantorPDF");
  EXPECT_EQ(u"ZelvantorPDF", ReadDevModeDeviceName(b.data(), b.size()));
  EXPECT_EQ(u"Zelv", ReadDevModeDeviceName(b.data(), 8)); // block ends first

  const std::u16string full(40, u'x');
  for (std::size_t i = 0; i < full.size(); ++i)
    WriteU16(&b[2 * i], full[i]);
  EXPECT_EQ(std::u16string(32, u'x'), ReadDevModeDeviceName(b.data(), b.size()));
  EXPECT_EQ(u"", ReadDevModeDeviceName(nullptr, 228));
}
