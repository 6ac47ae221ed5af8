#include <gtest/gtest.h>

#include "app/module_path.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_report.h"
#include "twain/acquire_fixture.h"

using namespace twainsim;

namespace {

const wchar_t kEmptyProfileLines[] =
    L"ScannerId:      0\r\n"
    L"VersionMajor:   0\r\n"
    L"VersionMinor:   0\r\n"
    L"VersionInfo:    \r\n"
    L"ProtocolMajor:  0\r\n"
    L"ProtocolMinor:  0\r\n"
    L"Manufacturer:   \r\n"
    L"ProductFamily:  \r\n"
    L"ProductName:    \r\n"
    L"ControllableUI: false\r\n"
    L"PixelTypes:     \r\n"
    L"Units:          \r\n"
    L"XNativeResolution: 0.000000\r\n"
    L"YNativeResolution: 0.000000\r\n"
    L"PhysicalWidth:     0.000000\r\n"
    L"PhysicalHeight:    0.000000\r\n"
    L"bResolutionArray:  false\r\n"
    L"bResolutionRange:  false\r\n"
    L"ResolutionDefault: 0.000000\r\n"
    L"ResolutionMin:     0.000000\r\n"
    L"ResolutionMax:     0.000000\r\n"
    L"ResolutionStep:    0.000000\r\n";

const wchar_t kSeparator[] =
    L"---------------------------------------------------------------\r\n";

std::wstring LineStarting(const std::wstring &text, const std::wstring &label) {
  const auto at = text.find(L"\r\n" + label);
  if (at == std::wstring::npos)
    return text.compare(0, label.size(), label) == 0 ? text.substr(0, text.find(L"\r\n") + 2)
                                                      : L"";
  const auto end = text.find(L"\r\n", at + 2);
  return text.substr(at + 2, end - at);
}

} // namespace

TEST(ScannerReportLines, UntouchedProfile) {
  EXPECT_EQ(kEmptyProfileLines, FormatProfileLines(ScannerProfile()));
  ScannerProfile reset;
  reset.Reset(); // no list at all
  EXPECT_EQ(kEmptyProfileLines, FormatProfileLines(reset));
}

TEST(ScannerReportLines, IdInUpperCaseHexWithoutLeadingZeros) {
  ScannerProfile p;
  p.ScannerId = 42;
  EXPECT_EQ(L"ScannerId:      2A\r\n", LineStarting(FormatProfileLines(p), L"ScannerId:"));
  p.ScannerId = 0x06BD3DDC;
  EXPECT_EQ(L"ScannerId:      6BD3DDC\r\n", LineStarting(FormatProfileLines(p), L"ScannerId:"));
  p.ScannerId = 0xFEE356DF;
  EXPECT_EQ(L"ScannerId:      FEE356DF\r\n", LineStarting(FormatProfileLines(p), L"ScannerId:"));
}

TEST(ScannerReportLines, NamesWithTwoSpacesAfterEach) {
  ScannerProfile p;
  p.PixelTypes[0] = p.PixelTypes[1] = true;
  p.Units[5] = true;
  const std::wstring text = FormatProfileLines(p);
  EXPECT_EQ(L"PixelTypes:     TWPT_BW  TWPT_GRAY  \r\n", LineStarting(text, L"PixelTypes:"));
  EXPECT_EQ(L"Units:          TWUN_PIXELS  \r\n", LineStarting(text, L"Units:"));
  for (bool &f : p.PixelTypes)
    f = true;
  for (bool &f : p.Units)
    f = true;
  const std::wstring all = FormatProfileLines(p);
  EXPECT_EQ(L"PixelTypes:     TWPT_BW  TWPT_GRAY  TWPT_RGB  TWPT_PALETTE  TWPT_CMY  TWPT_CMYK  "
            L"TWPT_YUV  TWPT_YUVK  TWPT_CIEXYZ  \r\n",
            LineStarting(all, L"PixelTypes:"));
  EXPECT_EQ(L"Units:          TWUN_INCHES  TWUN_CENTIMETERS  TWUN_PICAS  TWUN_POINTS  "
            L"TWUN_TWIPS  TWUN_PIXELS  \r\n",
            LineStarting(all, L"Units:"));
}

TEST(ScannerReportLines, ResolutionListStopsAtCountOrFirstZero) {
  ScannerProfile p;
  p.bResolutionArray = true;
  p.ResolutionDefault = 200;
  p.SetResolutionList({100, 200, 300});
  const std::wstring text = FormatProfileLines(p);
  EXPECT_NE(std::wstring::npos, text.find(L"bResolutionArray:  true\r\n"
                                          L"bResolutionRange:  false\r\n"
                                          L"ResolutionDefault: 200.000000\r\n"
                                          L"ResolutionArray[0]: 100.000000\r\n"
                                          L"ResolutionArray[1]: 200.000000\r\n"
                                          L"ResolutionArray[2]: 300.000000\r\n"
                                          L"ResolutionMin:     0.000000\r\n"))
      << text;

  p.SetResolutionList({100, 0, 300});
  const std::wstring cut = FormatProfileLines(p);
  EXPECT_NE(std::wstring::npos, cut.find(L"ResolutionArray[0]: 100.000000\r\nResolutionMin:"));

  // A count larger than the list reads no further than the list.
  p.SetResolutionList({150});
  p.ResolutionCount = 1000;
  const std::wstring over = FormatProfileLines(p);
  EXPECT_NE(std::wstring::npos, over.find(L"ResolutionArray[0]: 150.000000\r\nResolutionMin:"));
}

TEST(ScannerReportLines, RangeHasNoListLines) {
  ScannerProfile p;
  p.bResolutionRange = true;
  p.ResolutionDefault = 300;
  p.ResolutionMin = 50;
  p.ResolutionMax = 1200;
  p.ResolutionStep = 0.5f;
  const std::wstring text = FormatProfileLines(p);
  EXPECT_EQ(std::wstring::npos, text.find(L"ResolutionArray["));
  EXPECT_NE(std::wstring::npos, text.find(L"bResolutionArray:  false\r\n"
                                          L"bResolutionRange:  true\r\n"
                                          L"ResolutionDefault: 300.000000\r\n"
                                          L"ResolutionMin:     50.000000\r\n"
                                          L"ResolutionMax:     1200.000000\r\n"
                                          L"ResolutionStep:    0.500000\r\n"));
}

TEST(ScannerReportLines, IdentityTextOfAllThirtyFourUnits) {
  ScannerProfile p;
  for (std::size_t i = 0; i < kIdentityTextUnits; ++i)
    p.ProductName[i] = wchar_t(L'a' + i % 26);
  EXPECT_EQ(L"ProductName:    abcdefghijklmnopqrstuvwxyzabcdefgh\r\n",
            LineStarting(FormatProfileLines(p), L"ProductName:"));
}

TEST(ScannerReportLines, ManagerLines) {
  EXPECT_EQ(L"TWAIN_32.DLL:   1.6.0.3\r\nTWAIN_32.DLL:   C:\\windows\\twain_32.dll\r\n",
            FormatManagerLines(MakeFileVersion(1, 6, 0, 3), L"C:\\windows\\twain_32.dll"));
  EXPECT_EQ(L"TWAIN_32.DLL:   0.0.0.0\r\nTWAIN_32.DLL:   \r\n", FormatManagerLines(0, L""));
  // On the other road the label is the manager's own name, padded alike.
  EXPECT_EQ(L"TWAINDSM.DLL:   2.4.3.0\r\nTWAINDSM.DLL:   C:\\zv\\TWAINDSM.DLL\r\n",
            FormatManagerLines(MakeFileVersion(2, 4, 3, 0), L"C:\\zv\\TWAINDSM.DLL",
                               L"TWAINDSM.DLL"));
}

TEST(ScannerReport, OfAScannerThroughItsSession) {
  SimScannerModel model;
  model.resolutions = {100, 200, 300};
  model.resolutionDefault = 300;
  model.physicalHeight = 11.75;
  model.units = {TWUN_INCHES, TWUN_CENTIMETERS};
  SimSource source;
  source.identity = MakeIdentity("Acme", "Scan", "Acme Scan 1", "1.0");
  source.capabilities = MakeCapabilities(model);
  SimConfig config;
  config.sources.push_back(source);
  SimSession sim(config);
  ASSERT_EQ(0x06BD3DDCu, sim.session->scannerId);
  ASSERT_EQ(nullptr, GetModuleHandleW(L"TWAIN_32.DLL"));

  const std::wstring report = BuildScannerReport(*sim.session);
  const std::wstring expected =
      FormatManagerLines(GetFileVersion(L"TWAIN_32.DLL"), GetModulePath(nullptr)) + kSeparator +
      L"ScannerId:      6BD3DDC\r\n"
      L"VersionMajor:   1\r\n"
      L"VersionMinor:   0\r\n"
      L"VersionInfo:    1.0\r\n"
      L"ProtocolMajor:  1\r\n"
      L"ProtocolMinor:  9\r\n"
      L"Manufacturer:   Acme\r\n"
      L"ProductFamily:  Scan\r\n"
      L"ProductName:    Acme Scan 1\r\n"
      L"ControllableUI: true\r\n"
      L"PixelTypes:     TWPT_BW  TWPT_GRAY  TWPT_RGB  \r\n"
      L"Units:          TWUN_INCHES  TWUN_CENTIMETERS  \r\n"
      L"XNativeResolution: 600.000000\r\n"
      L"YNativeResolution: 600.000000\r\n"
      L"PhysicalWidth:     8.500000\r\n"
      L"PhysicalHeight:    11.750000\r\n"
      L"bResolutionArray:  true\r\n"
      L"bResolutionRange:  false\r\n"
      L"ResolutionDefault: 300.000000\r\n"
      L"ResolutionArray[0]: 100.000000\r\n"
      L"ResolutionArray[1]: 200.000000\r\n"
      L"ResolutionArray[2]: 300.000000\r\n"
      L"ResolutionMin:     0.000000\r\n"
      L"ResolutionMax:     0.000000\r\n"
      L"ResolutionStep:    0.000000\r\n";
  EXPECT_EQ(expected, report);
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerReport, OfAnUnavailableSession) {
  SimConfig config;
  config.sources.push_back(Flatbed("ZV Report Unavailable"));
  config.defaultSource = -1;
  SimSession sim(config);
  ASSERT_FALSE(sim.session->IsAvailable());
  const std::wstring report = BuildScannerReport(*sim.session);
  const std::wstring tail = std::wstring(kSeparator) + kEmptyProfileLines;
  ASSERT_GE(report.size(), tail.size());
  EXPECT_EQ(tail, report.substr(report.size() - tail.size()));
  // The manager lines: the version of whatever TWAIN_32.DLL the system
  // search finds, and the program's own path when none is loaded.
  EXPECT_EQ(0u, report.find(L"TWAIN_32.DLL:   "));
  const std::size_t firstEnd = report.find(L"\r\n");
  const std::size_t secondEnd = report.find(L"\r\n", firstEnd + 2);
  EXPECT_EQ(L"TWAIN_32.DLL:   " + GetModulePath(nullptr),
            report.substr(firstEnd + 2, secondEnd - firstEnd - 2));
  EXPECT_TRUE(sim.engine.Calls().empty());
}
