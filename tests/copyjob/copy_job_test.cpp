// The copy job with the simulated TWAIN manager as scanner and the CUPS PDF
// printer as printer. The document calls go through a counting table that
// forwards to GDI and can make one of them fail, since no printer here
// refuses a page on request; message boxes are recorded instead of shown.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/localized_texts.h"
#include "copyjob/copy_job.h"
#include "copyjob/print_calls.h"
#include "imaging/global_memory.h"
#include "printing/printer_settings.h"
#include "tools/twainsim/sim_engine.h"
#include "tools/twainsim/sim_ledger.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

using twainsim::SimEngine;

// ---- the recording print calls ------------------------------------------------

struct Box {
  std::wstring text;
  bool defaultCaption;
  std::wstring caption;
  UINT type;
};

// One StretchDIBits: where and how large on the device, how much of the
// bitmap, and, for pages that number their rows (RowNumberedPage), which
// rows of the scanned picture the bitmap handed over holds, top to bottom.
struct Drawing {
  int x, y, width, height;
  int sourceWidth, sourceHeight;
  bool refused;
  std::vector<int> rows;
};

struct Recorder {
  std::map<std::string, int> counts;
  std::vector<std::string> order;
  std::string failing;   // the call that fails
  int failOnCall = 1;    // ... on its n-th use
  std::vector<Box> boxes;
  // Device capabilities answered in place of the printer's own.
  std::map<int, int> caps;
  std::vector<POINT> viewportOrigins;
  std::vector<int> stretchModes;
  std::vector<Drawing> drawings;
  bool discardDocuments = false; // EndDoc becomes AbortDoc on the real printer
  // A driver that will not take a bitmap of more than this many rows (0: any).
  int refuseRowsAbove = 0;
  // ... or none at all from its n-th StretchDIBits on (0: never).
  int refuseDrawingFrom = 0;
  int refusal = int(GDI_ERROR); // what a refused StretchDIBits returns
  bool Fails(const char *name) {
    counts[name]++;
    order.push_back(name);
    return failing == name && counts[name] == failOnCall;
  }
};
Recorder *g_recorder = nullptr;

HDC WINAPI RecCreateDC(LPCWSTR d, LPCWSTR dev, LPCWSTR o, const DEVMODEW *m) {
  return g_recorder->Fails("CreateDC") ? nullptr : RealPrintCalls().createDC(d, dev, o, m);
}
int WINAPI RecStartDoc(HDC dc, const DOCINFOW *info) {
  if (g_recorder->Fails("StartDoc"))
    return SP_ERROR;
  EXPECT_EQ(TextDocumentName, info->lpszDocName);
  EXPECT_EQ(nullptr, info->lpszOutput);
  return RealPrintCalls().startDoc(dc, info);
}
HDC WINAPI RecResetDC(HDC dc, const DEVMODEW *m) {
  g_recorder->Fails("ResetDC");
  return RealPrintCalls().resetDC(dc, m);
}
int WINAPI RecStartPage(HDC dc) {
  return g_recorder->Fails("StartPage") ? SP_ERROR : RealPrintCalls().startPage(dc);
}
int WINAPI RecEndPage(HDC dc) {
  return g_recorder->Fails("EndPage") ? SP_ERROR : RealPrintCalls().endPage(dc);
}
int WINAPI RecEndDoc(HDC dc) {
  g_recorder->Fails("EndDoc");
  // Tests that look only at the drawing need no PDF on the shared printer.
  return g_recorder->discardDocuments ? RealPrintCalls().abortDoc(dc)
                                      : RealPrintCalls().endDoc(dc);
}
int WINAPI RecAbortDoc(HDC dc) {
  g_recorder->Fails("AbortDoc");
  return RealPrintCalls().abortDoc(dc);
}
BOOL WINAPI RecDeleteDC(HDC dc) {
  g_recorder->Fails("DeleteDC");
  return RealPrintCalls().deleteDC(dc);
}
int WINAPI RecMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  EXPECT_EQ(nullptr, owner);
  g_recorder->boxes.push_back({text, caption == nullptr, caption ? caption : L"", type});
  return IDOK;
}
const char *CapName(int index) {
  switch (index) {
  case LOGPIXELSX:
    return "LOGPIXELSX";
  case LOGPIXELSY:
    return "LOGPIXELSY";
  case PHYSICALOFFSETX:
    return "PHYSICALOFFSETX";
  case PHYSICALOFFSETY:
    return "PHYSICALOFFSETY";
  default:
    return "other";
  }
}
int WINAPI RecGetDeviceCaps(HDC dc, int index) {
  g_recorder->Fails((std::string("GetDeviceCaps ") + CapName(index)).c_str());
  const auto given = g_recorder->caps.find(index);
  return given != g_recorder->caps.end() ? given->second
                                         : RealPrintCalls().getDeviceCaps(dc, index);
}
BOOL WINAPI RecSetViewportOrgEx(HDC dc, int x, int y, POINT *previous) {
  g_recorder->Fails("SetViewportOrgEx");
  g_recorder->viewportOrigins.push_back({x, y});
  return RealPrintCalls().setViewportOrgEx(dc, x, y, previous);
}
int WINAPI RecSetStretchBltMode(HDC dc, int mode) {
  g_recorder->Fails("SetStretchBltMode");
  g_recorder->stretchModes.push_back(mode);
  return RealPrintCalls().setStretchBltMode(dc, mode);
}
// The picture rows a bitmap holds, top to bottom, as RowNumberedPage wrote
// them into the first two bytes of every row.
std::vector<int> PictureRows(const void *bits, const BITMAPINFO *info) {
  const BITMAPINFOHEADER &h = info->bmiHeader;
  const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const std::size_t stride = ((std::size_t(h.biWidth) * h.biBitCount + 31) / 32) * 4;
  std::vector<int> picture;
  for (int top = 0; top < rows; ++top) {
    const int stored = h.biHeight < 0 ? top : rows - 1 - top;
    const auto *row = static_cast<const unsigned char *>(bits) + std::size_t(stored) * stride;
    picture.push_back(row[0] | (row[1] << 8));
  }
  return picture;
}

int WINAPI RecStretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                            int sourceWidth, int sourceHeight, const void *bits,
                            const BITMAPINFO *info, UINT usage, DWORD rop) {
  g_recorder->Fails("StretchDIBits");
  // Always the whole of the bitmap handed over: a band is a bitmap of its
  // own, not a source rectangle whose origin drivers disagree about.
  EXPECT_EQ(0, sourceX);
  EXPECT_EQ(0, sourceY);
  EXPECT_EQ(info->bmiHeader.biWidth, sourceWidth);
  EXPECT_EQ(std::abs(info->bmiHeader.biHeight), sourceHeight);
  EXPECT_EQ(UINT(DIB_RGB_COLORS), usage);
  EXPECT_EQ(DWORD(SRCCOPY), rop);
  Recorder &r = *g_recorder;
  const bool refused =
      (r.refuseRowsAbove > 0 && sourceHeight > r.refuseRowsAbove) ||
      (r.refuseDrawingFrom > 0 && r.counts["StretchDIBits"] >= r.refuseDrawingFrom);
  r.drawings.push_back({x, y, width, height, sourceWidth, sourceHeight, refused,
                        PictureRows(bits, info)});
  if (refused)
    return r.refusal;
  return RealPrintCalls().stretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth,
                                        sourceHeight, bits, info, usage, rop);
}
const PrintCalls kRecording = {RecCreateDC,      RecStartDoc,         RecResetDC,
                               RecStartPage,     RecEndPage,          RecEndDoc,
                               RecAbortDoc,      RecDeleteDC,         RecMessageBox,
                               RecGetDeviceCaps, RecSetViewportOrgEx, RecSetStretchBltMode,
                               RecStretchDIBits};

// ---- the simulated scanner behind a session ------------------------------------

SimEngine *g_engine = nullptr;
TW_UINT16 WINAPI SimEntry(TW_IDENTITY *o, TW_IDENTITY *d, TW_UINT32 dg, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data) {
  return g_engine->Entry(o, d, dg, dat, msg, data);
}

// Profiles are cached per process by the identity: a different list needs
// a different name.
twainsim::SimSource Flatbed(std::vector<double> resolutions, const char *name = "Job Flatbed") {
  twainsim::SimScannerModel model;
  model.resolutions = std::move(resolutions);
  model.resolutionDefault = model.resolutions.front();
  twainsim::SimSource source;
  source.identity = twainsim::MakeIdentity("Zelvantor", "Test", name);
  source.capabilities = twainsim::MakeCapabilities(model);
  return source;
}

// A page of width x height pixels at 1, 8 (both with a grey table) or 24
// bits, stored top-down or bottom-up, with these pixels per metre in its
// header; fill(row, stride, y) writes the row that shows picture row y,
// counted from the top.
template <typename Fill>
TW_HANDLE NewPage(int width, int height, int bits, bool topDown, LONG xPels, LONG yPels,
                  Fill fill) {
  const std::size_t stride = ((std::size_t(width) * bits + 31) / 32) * 4;
  const std::size_t colours = bits <= 8 ? std::size_t(1) << bits : 0;
  const std::size_t offset = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, offset + stride * std::size_t(height));
  GlobalLockGuard lock(h);
  if (!lock)
    return h;
  auto *header = static_cast<BITMAPINFOHEADER *>(lock.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = topDown ? -height : height;
  header->biPlanes = 1;
  header->biBitCount = WORD(bits);
  header->biXPelsPerMeter = xPels;
  header->biYPelsPerMeter = yPels;
  auto *table = reinterpret_cast<RGBQUAD *>(lock.bytes() + sizeof(BITMAPINFOHEADER));
  for (std::size_t i = 0; i < colours; ++i) {
    const BYTE grey = BYTE(i * 255 / (colours - 1));
    table[i] = {grey, grey, grey, 0};
  }
  for (int y = 0; y < height; ++y)
    fill(lock.bytes() + offset + std::size_t(topDown ? y : height - 1 - y) * stride, stride, y);
  return h;
}

// A white 24-bit page of width x height pixels with these pixels per metre
// in its header.
twainsim::SimImageProvider FixedPage(int width, int height, LONG xPels, LONG yPels) {
  return [=](const twainsim::SimImageRequest &) -> TW_HANDLE {
    return NewPage(width, height, 24, false, xPels, yPels,
                   [](unsigned char *row, std::size_t stride, int) {
                     std::memset(row, 0xFF, stride);
                   });
  };
}

// A page of width x height pixels at 300 dpi, 1, 8 or 24 bits, stored
// top-down or bottom-up, whose every row carries its own row number
// (counted from the top of the picture) in its first two bytes.
twainsim::SimImageProvider RowNumberedPage(int width, int height, int bits, bool topDown) {
  return [=](const twainsim::SimImageRequest &) -> TW_HANDLE {
    return NewPage(width, height, bits, topDown, 11811, 11811,
                   [](unsigned char *row, std::size_t stride, int y) {
                     std::memset(row, 0x5A, stride);
                     row[0] = static_cast<unsigned char>(y);
                     row[1] = static_cast<unsigned char>(y >> 8);
                   });
  };
}

class CopyJob : public testing::Test {
protected:
  static void SetUpTestSuite() {
    ModuleInstance = GetModuleHandleW(nullptr); // the texts are linked into this test
    SetThreadLocale(MAKELCID(0x0409, SORT_DEFAULT));
    LoadLocalizedTexts();
    std::memset(PrinterSettings, 0, sizeof PrinterSettings);
    ASSERT_TRUE(SelectPrinter(nullptr, 0)) << "the PDF printer is the default printer";
  }

  void SetUp() override {
    // A small list keeps the printed bitmaps small and the tests quick.
    Start(Flatbed({50, 75}));
  }
  void TearDown() override {
    SetPrintCalls(nullptr);
    g_recorder = nullptr;
    if (session)
      session->Shutdown();
    session.reset();
    g_engine = nullptr;
  }

  // A fresh session on a manager that offers this one source, whose pages
  // come from `provider` when one is given.
  void Start(twainsim::SimSource source, twainsim::SimImageProvider provider = nullptr) {
    if (session)
      session->Shutdown();
    session.reset();
    twainsim::SimConfig config;
    config.sources.push_back(std::move(source));
    config.imageProvider = std::move(provider);
    engine = std::make_unique<SimEngine>(std::move(config));
    g_engine = engine.get();
    session = std::make_unique<ScannerSession>(nullptr, &SimEntry);
    ASSERT_TRUE(session->IsAvailable());
    engine->ClearCalls();
    g_recorder = &recorder;
    SetPrintCalls(&kRecording);
  }

  bool Run(CopyParameters params) { return RunCopyJob(*session, PrinterSettings[0], params); }

  static CopyParameters Params(std::uint32_t copies, std::uint32_t perCopy = 0,
                               std::int32_t mode = 0, std::uint32_t scale = 10000) {
    CopyParameters p;
    p.copies = copies;
    p.OneDocumentPerCopy = perCopy;
    p.mode = mode;
    p.scale = scale;
    return p;
  }

  int Count(const char *name) { return recorder.counts[name]; }
  bool Scanned() {
    for (const auto &call : engine->Calls())
      if (call.Name() == "DS IMAGENATIVEXFER GET" && call.rc == TWRC_XFERDONE)
        return true;
    return false;
  }
  // The item of the last MSG_SET of a capability, as the scanner received it.
  TW_UINT32 LastSet(TW_UINT16 cap) {
    TW_UINT32 item = 0xFFFFFFFF;
    for (const auto &call : engine->Calls())
      if (call.dat == DAT_CAPABILITY && call.msg == MSG_SET && call.cap == cap)
        item = call.item;
    return item;
  }
  bool LastFrame(TW_FRAME &frame) {
    bool found = false;
    for (const auto &call : engine->Calls())
      if (call.dat == DAT_IMAGELAYOUT && call.msg == MSG_SET)
        frame = call.frame, found = true;
    return found;
  }

  Recorder recorder;
  std::unique_ptr<SimEngine> engine;
  std::unique_ptr<ScannerSession> session;
};

} // namespace

TEST_F(CopyJob, CopyPrintsEveryCopyAsAPageOfOneDocument) {
  EXPECT_TRUE(Run(Params(3)));
  EXPECT_TRUE(Scanned());
  EXPECT_EQ(1, Count("StartDoc"));
  EXPECT_EQ(3, Count("StartPage"));
  EXPECT_EQ(3, Count("EndPage"));
  EXPECT_EQ(1, Count("EndDoc"));
  EXPECT_EQ(0, Count("AbortDoc"));
  EXPECT_EQ(1, Count("DeleteDC"));
  EXPECT_TRUE(recorder.boxes.empty());
  // The document is started before the scan, portrait forced right after.
  ASSERT_GE(recorder.order.size(), 3u);
  EXPECT_EQ("CreateDC", recorder.order[0]);
  EXPECT_EQ("StartDoc", recorder.order[1]);
  EXPECT_EQ("ResetDC", recorder.order[2]);
  EXPECT_EQ(0u, engine->LiveImages()) << "the job frees the bitmap";
}

TEST_F(CopyJob, FaxSendsEveryCopyAsADocumentOfItsOwn) {
  EXPECT_TRUE(Run(Params(3, 1)));
  EXPECT_EQ(3, Count("StartDoc"));
  EXPECT_EQ(3, Count("StartPage"));
  EXPECT_EQ(3, Count("EndPage"));
  EXPECT_EQ(3, Count("EndDoc"));
  EXPECT_EQ("CreateDC", recorder.order[0]);
  EXPECT_EQ("ResetDC", recorder.order[1]); // no document before the scan
  EXPECT_EQ(0u, engine->LiveImages());
}

TEST_F(CopyJob, ZeroCopiesScansButPrintsNoPage) {
  EXPECT_TRUE(Run(Params(0)));
  EXPECT_TRUE(Scanned());
  EXPECT_EQ(1, Count("StartDoc")); // an empty document
  EXPECT_EQ(0, Count("StartPage"));
  EXPECT_EQ(1, Count("EndDoc"));

  recorder = Recorder();
  EXPECT_TRUE(Run(Params(0, 1)));
  EXPECT_TRUE(Scanned());
  EXPECT_EQ(0, Count("StartDoc")); // nothing at all for a fax
  EXPECT_EQ(0, Count("EndDoc"));
  EXPECT_EQ(0u, engine->LiveImages());
}

TEST_F(CopyJob, CancelledScanAbortsTheDocumentSilently) {
  twainsim::SimSource source = Flatbed({75});
  source.behaviour.outcome = twainsim::SimOutcome::CloseRequest;
  Start(std::move(source));
  EXPECT_TRUE(Run(Params(2)));
  EXPECT_FALSE(Scanned());
  EXPECT_EQ(1, Count("StartDoc"));
  EXPECT_EQ(1, Count("AbortDoc"));
  EXPECT_EQ(0, Count("StartPage"));
  EXPECT_EQ(0, Count("EndDoc"));
  EXPECT_EQ(1, Count("DeleteDC"));
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(2, session->state);
}

// A scan that brings no page: a cancel stays silent, a failure is told in
// the program's own box; either way the document is thrown away, the job
// still counts as done and the session is back at rest.
TEST_F(CopyJob, ScanWithoutPageTellsFailureFromCancel) {
  struct Case {
    const char *what;
    TW_UINT16 openRc, enableRc, xferRc;
    twainsim::SimOutcome outcome;
    bool told;
  } cases[] = {
      {"source does not open", TWRC_FAILURE, TWRC_SUCCESS, TWRC_XFERDONE,
       twainsim::SimOutcome::Deliver, true},
      {"source refuses to be enabled", TWRC_SUCCESS, TWRC_FAILURE, TWRC_XFERDONE,
       twainsim::SimOutcome::Deliver, true},
      {"transfer fails", TWRC_SUCCESS, TWRC_SUCCESS, TWRC_FAILURE,
       twainsim::SimOutcome::Deliver, true},
      {"user cancels enabling", TWRC_SUCCESS, TWRC_CANCEL, TWRC_XFERDONE,
       twainsim::SimOutcome::Deliver, false},
      {"transfer cancelled", TWRC_SUCCESS, TWRC_SUCCESS, TWRC_CANCEL,
       twainsim::SimOutcome::Deliver, false},
      {"source asks to be closed", TWRC_SUCCESS, TWRC_SUCCESS, TWRC_XFERDONE,
       twainsim::SimOutcome::CloseRequest, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    twainsim::SimSource source = Flatbed({75});
    source.behaviour.openRc = c.openRc;
    source.behaviour.enableRc = c.enableRc;
    source.behaviour.nativeXferRc = c.xferRc;
    source.behaviour.outcome = c.outcome;
    Start(std::move(source));
    recorder = Recorder();
    EXPECT_TRUE(Run(Params(2)));
    EXPECT_EQ(1, Count("AbortDoc"));
    EXPECT_EQ(0, Count("StartPage"));
    EXPECT_EQ(0, Count("EndDoc"));
    EXPECT_EQ(1, Count("DeleteDC"));
    if (c.told) {
      ASSERT_EQ(1u, recorder.boxes.size());
      EXPECT_EQ(L"The scanner delivered no page.", recorder.boxes[0].text);
      EXPECT_EQ(L"Zelvantor Copier", recorder.boxes[0].caption);
      EXPECT_EQ(UINT(MB_ICONERROR), recorder.boxes[0].type);
    } else {
      EXPECT_TRUE(recorder.boxes.empty());
    }
    EXPECT_EQ(0u, engine->LiveImages());
    EXPECT_EQ(0u, engine->LiveContainers());
    EXPECT_EQ(2, session->state);
  }
}

TEST_F(CopyJob, FailuresAndTheirMessages) {
  struct Case {
    const char *failing;
    std::uint32_t perCopy;
    int failOn;
    bool scans;
    const std::wstring *text;
    bool defaultCaption;
    int aborts;
  } cases[] = {
      // The document of a copy cannot start: reported before anything is scanned.
      {"StartDoc", 0, 1, false, &TextErrorDocument, false, 0},
      // A fax's second document cannot start: the first one stays sent.
      {"StartDoc", 1, 2, true, &TextErrorDocument, false, 0},
      {"StartPage", 0, 1, true, &TextErrorCopy, true, 1},
      {"EndPage", 0, 2, true, &TextErrorCopy, true, 1},
      {"StartPage", 1, 1, true, &TextErrorCopy, true, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.failing) + " #" + std::to_string(c.failOn) +
                 (c.perCopy ? " fax" : " copy"));
    recorder = Recorder();
    recorder.failing = c.failing;
    recorder.failOnCall = c.failOn;
    engine->ClearCalls();
    EXPECT_FALSE(Run(Params(3, c.perCopy)));
    EXPECT_EQ(c.scans, Scanned());
    ASSERT_EQ(1u, recorder.boxes.size());
    EXPECT_EQ(*c.text, recorder.boxes[0].text);
    EXPECT_EQ(c.defaultCaption, recorder.boxes[0].defaultCaption);
    if (!c.defaultCaption) {
      EXPECT_EQ(L"Zelvantor Copier", recorder.boxes[0].caption);
    }
    EXPECT_EQ(UINT(MB_ICONERROR), recorder.boxes[0].type);
    EXPECT_EQ(c.aborts, Count("AbortDoc"));
    EXPECT_EQ(1, Count("DeleteDC"));
    EXPECT_EQ(0u, engine->LiveImages());
    EXPECT_EQ(2, session->state);
  }
}

TEST_F(CopyJob, PrinterThatDoesNotOpenEndsSilently) {
  recorder.failing = "CreateDC";
  EXPECT_FALSE(Run(Params(1)));
  EXPECT_FALSE(Scanned());
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(0, Count("DeleteDC"));
}

TEST_F(CopyJob, ScaleZeroNeverReachesThePrinterOrTheScanner) {
  EXPECT_FALSE(Run(Params(1, 0, 0, 0)));
  EXPECT_TRUE(recorder.order.empty());
  EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(CopyJob, PortraitIsForcedAndStaysInTheEntry) {
  {
    GlobalLockGuard lock(PrinterSettings[0].hDevMode);
    ASSERT_TRUE(lock);
    auto *mode = static_cast<DEVMODEW *>(lock.data());
    mode->dmOrientation = DMORIENT_LANDSCAPE;
    mode->dmFields &= ~DWORD(DM_ORIENTATION);
  }
  EXPECT_TRUE(Run(Params(1)));
  GlobalLockGuard lock(PrinterSettings[0].hDevMode);
  const auto *mode = static_cast<const DEVMODEW *>(lock.data());
  EXPECT_EQ(DMORIENT_PORTRAIT, mode->dmOrientation);
  EXPECT_NE(0u, mode->dmFields & DM_ORIENTATION);
}

TEST_F(CopyJob, ResolutionAndFrameSentToTheScanner) {
  // The PDF printer has 300 dpi; the scanner offers a list.
  Start(Flatbed({75, 100, 150, 300, 600}, "Job Flatbed 600"));
  struct Case {
    std::int32_t mode;
    std::uint32_t scale;
    TW_UINT32 resolution; // Whole in the low half, Frac 0
    TW_UINT16 pixelType;
    std::int32_t right, bottom; // 1/100 mm
  } cases[] = {
      {0, 10000, 300, TWPT_BW, 21000, 29700},
      {1, 10000, 150, TWPT_GRAY, 21000, 29700},  // grey at half the resolution
      {2, 10000, 150, TWPT_RGB, 21000, 29700},   // and colour too
      {0, 5000, 150, TWPT_BW, 21000, 29700},     // reductions scan all of A4
      {0, 14138, 600, TWPT_BW, 14853, 21007},    // 424: none exact, none of 636 or more: the last
      {0, 20000, 600, TWPT_BW, 10500, 14850},
      {7, 10000, 300, TWPT_BW, 21000, 29700},    // an unknown mode is black and white
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " at " + std::to_string(c.scale));
    engine->ClearCalls();
    recorder = Recorder();
    EXPECT_TRUE(Run(Params(1, 0, c.mode, c.scale)));
    EXPECT_EQ(c.resolution, LastSet(ICAP_XRESOLUTION));
    EXPECT_EQ(c.resolution, LastSet(ICAP_YRESOLUTION));
    EXPECT_EQ(c.pixelType, LastSet(ICAP_PIXELTYPE));
    TW_FRAME frame{};
    ASSERT_TRUE(LastFrame(frame));
    auto fix = [](std::int32_t v) { return std::int64_t(v) * 65536 + 1270; };
    EXPECT_EQ(fix(c.right) / 2540, std::int64_t(frame.Right.Whole) * 65536 + frame.Right.Frac);
    EXPECT_EQ(fix(c.bottom) / 2540, std::int64_t(frame.Bottom.Whole) * 65536 + frame.Bottom.Frac);
    EXPECT_EQ(0, frame.Left.Whole);
    EXPECT_EQ(0, frame.Top.Frac);
  }
}

TEST_F(CopyJob, BitmapWithoutResolutionIsStillPrinted) {
  twainsim::SimSource source = Flatbed({75});
  source.behaviour.zeroPelsPerMeter = true;
  source.behaviour.zeroImageInfoResolution = true;
  Start(std::move(source));
  recorder.caps = {{LOGPIXELSX, 300}, {LOGPIXELSY, 300}};
  EXPECT_TRUE(Run(Params(1)));
  EXPECT_TRUE(Scanned());
  EXPECT_EQ(1, Count("StartPage"));
  EXPECT_EQ(1, Count("EndPage"));
  EXPECT_TRUE(recorder.boxes.empty());
  // Sized by the 75 dpi it was scanned at: four device pixels per pixel.
  ASSERT_EQ(1u, recorder.drawings.size());
  const Drawing &d = recorder.drawings[0];
  EXPECT_GT(d.sourceWidth, 0);
  EXPECT_EQ(0, d.x);
  EXPECT_EQ(0, d.y);
  EXPECT_EQ(d.sourceWidth * 4, d.width);
  EXPECT_EQ(d.sourceHeight * 4, d.height);
}

TEST_F(CopyJob, ResolutionZeroLeavesTheScannersOwn) {
  // A list that begins with 0.0 offers nothing: the job asks for 0, and the
  // scanner keeps its own resolution, which then sizes the print.
  twainsim::SimSource source = Flatbed({0, 300}, "Job Flatbed empty list");
  twainsim::SimScannerModel model;
  model.resolutions = {0, 300};
  model.resolutionDefault = 300; // the scanner's own
  source.capabilities = twainsim::MakeCapabilities(model);
  Start(std::move(source));
  // A 600 dpi device asks for 600; the page comes at the scanner's 300.
  recorder.caps = {{LOGPIXELSX, 600}, {LOGPIXELSY, 600}};
  EXPECT_TRUE(Run(Params(1)));
  EXPECT_TRUE(Scanned());
  EXPECT_EQ(0xFFFFFFFFu, LastSet(ICAP_XRESOLUTION)) << "never set";
  EXPECT_EQ(0xFFFFFFFFu, LastSet(ICAP_YRESOLUTION)) << "never set";
  EXPECT_EQ(1, Count("EndPage"));
  ASSERT_EQ(1u, recorder.drawings.size());
  const Drawing &d = recorder.drawings[0];
  EXPECT_GT(d.sourceWidth, 0);
  EXPECT_EQ(d.sourceWidth * 2, d.width);
  EXPECT_EQ(d.sourceHeight * 2, d.height);
}

TEST_F(CopyJob, PageIsDrawnFromThePhysicalCornerAtItsSizeOnPaper) {
  struct Case {
    const char *what;
    int deviceX, deviceY, offsetX, offsetY; // dpi and device pixels
    int width, height;                      // pixels of the page
    LONG xPels, yPels;                      // its header
    std::uint32_t scale;
    int drawnWidth, drawnHeight;
  } cases[] = {
      {"100 %", 300, 300, 0, 0, 200, 100, 3937, 3937, 10000, 600, 300},
      {"enlarged one paper size", 300, 300, 0, 0, 200, 100, 3937, 3937, 14138, 848, 424},
      {"reduced two paper sizes", 300, 300, 0, 0, 200, 100, 3937, 3937, 5000, 300, 150},
      {"bitmap pixels twice as high as wide", 300, 300, 0, 0, 200, 100, 3937, 1969, 10000, 600,
       600},
      {"device pixels twice as wide as high", 600, 300, 0, 0, 200, 100, 3937, 3937, 10000, 1200,
       300},
      // No resolution in the header nor from the transfer: the 75 dpi the
      // scan was asked for (the scanner's list is 50, 75).
      {"bitmap without resolution", 300, 300, 0, 0, 200, 100, 0, 0, 10000, 800, 400},
      {"physical offsets", 300, 300, 118, 177, 200, 100, 3937, 3937, 10000, 600, 300},
      {"physical offsets, enlarged", 600, 600, 50, 70, 200, 100, 3937, 3937, 14138, 1696, 848},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    twainsim::SimSource source = Flatbed({50, 75});
    source.behaviour.zeroImageInfoResolution = true;
    Start(std::move(source), FixedPage(c.width, c.height, c.xPels, c.yPels));
    recorder = Recorder();
    recorder.discardDocuments = true;
    recorder.caps = {{LOGPIXELSX, c.deviceX},
                     {LOGPIXELSY, c.deviceY},
                     {PHYSICALOFFSETX, c.offsetX},
                     {PHYSICALOFFSETY, c.offsetY}};
    EXPECT_TRUE(Run(Params(2, 0, 0, c.scale)));
    // Every page: the origin moved by minus the offsets, then the whole
    // bitmap drawn at (0, 0).
    ASSERT_EQ(2u, recorder.drawings.size());
    ASSERT_EQ(2u, recorder.viewportOrigins.size());
    for (int page = 0; page < 2; ++page) {
      EXPECT_EQ(-c.offsetX, recorder.viewportOrigins[page].x);
      EXPECT_EQ(-c.offsetY, recorder.viewportOrigins[page].y);
      EXPECT_EQ(COLORONCOLOR, recorder.stretchModes[page]);
      const Drawing &d = recorder.drawings[page];
      EXPECT_EQ(0, d.x);
      EXPECT_EQ(0, d.y);
      EXPECT_EQ(c.drawnWidth, d.width);
      EXPECT_EQ(c.drawnHeight, d.height);
      EXPECT_EQ(c.width, d.sourceWidth);
      EXPECT_EQ(c.height, d.sourceHeight);
    }
    EXPECT_EQ(0u, engine->LiveImages());
  }
}

TEST_F(CopyJob, EachPageReadsOffsetsAndResolutionsInThisOrder) {
  Start(Flatbed({50, 75}), FixedPage(20, 10, 3937, 3937));
  recorder.discardDocuments = true;
  EXPECT_TRUE(Run(Params(1)));
  const std::vector<std::string> page = {
      "StartPage",
      "GetDeviceCaps PHYSICALOFFSETY",
      "GetDeviceCaps PHYSICALOFFSETX",
      "SetViewportOrgEx",
      "SetStretchBltMode",
      "GetDeviceCaps LOGPIXELSY",
      "GetDeviceCaps LOGPIXELSX",
      "StretchDIBits",
      "EndPage",
  };
  const auto start = std::find(recorder.order.begin(), recorder.order.end(), "StartPage");
  ASSERT_GE(recorder.order.end() - start, std::ptrdiff_t(page.size()));
  EXPECT_EQ(page, std::vector<std::string>(start, start + std::ptrdiff_t(page.size())));
  // Before the scan only the horizontal resolution, for the target.
  const std::vector<std::string> before = {"CreateDC", "StartDoc", "ResetDC",
                                           "GetDeviceCaps LOGPIXELSX"};
  EXPECT_EQ(before, std::vector<std::string>(recorder.order.begin(), start));
}

TEST_F(CopyJob, PageTooSmallToShowIsLeftEmptyButPrinted) {
  // 1 by 4 pixels at 300 dpi on a 300 dpi device, halved: 0 by 2. Draw would
  // take a width and height of 0 as the image's own size, so nothing is drawn.
  for (int height : {1, 4}) {
    SCOPED_TRACE(height);
    Start(Flatbed({50, 75}), FixedPage(1, height, 11811, 11811));
    recorder = Recorder();
    recorder.discardDocuments = true;
    recorder.caps = {{LOGPIXELSX, 300}, {LOGPIXELSY, 300}};
    EXPECT_TRUE(Run(Params(1, 0, 0, 5000)));
    EXPECT_TRUE(recorder.drawings.empty());
    EXPECT_EQ(1, Count("StartPage"));
    EXPECT_EQ(1, Count("EndPage"));
    EXPECT_EQ(1u, recorder.viewportOrigins.size());
    EXPECT_TRUE(recorder.boxes.empty());
  }
}

TEST_F(CopyJob, DeviceModeTooSmallForAnOrientationKeepsItsDriverBytes) {
  // dmSize 68 with 152 driver bytes: dmFields and dmOrientation would lie in
  // what the header gives to the driver.
  HGLOBAL original = PrinterSettings[0].hDevMode;
  HGLOBAL small = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 220);
  ASSERT_NE(nullptr, small);
  {
    GlobalLockGuard from(original), to(small);
    ASSERT_TRUE(from && to);
    std::memcpy(to.data(), from.data(), 64); // dmDeviceName
    auto *mode = static_cast<DEVMODEW *>(to.data());
    mode->dmSpecVersion = 0x401;
    mode->dmSize = 68;
    mode->dmDriverExtra = 152;
  }
  PrinterSettings[0].hDevMode = small;
  recorder.discardDocuments = true;
  const bool ran = Run(Params(1));
  std::vector<unsigned char> after(220);
  {
    GlobalLockGuard lock(small);
    std::memcpy(after.data(), lock.data(), after.size());
  }
  PrinterSettings[0].hDevMode = original;
  GlobalFree(small);
  EXPECT_TRUE(ran);
  EXPECT_EQ(1, Count("ResetDC"));
  // dmSize and dmDriverExtra themselves sit at 68..71; dmFields would be
  // at 72 and dmOrientation at 76.
  EXPECT_EQ(std::vector<unsigned char>(148, 0),
            std::vector<unsigned char>(after.begin() + 72, after.end()))
      << "driver bytes written";
}

// ---- one session, sources that misbehave as real drivers do -------------------

namespace {

// The identity whose ScannerId is 0xA510B7A9 (its last characters were
// solved for): black and white is scanned as greyscale and thresholded here.
twainsim::SimSource GreyscaleForBw() {
  twainsim::SimSource source;
  source.identity = twainsim::MakeIdentity("Zelvantor", "Virtual Scanner",
                                           "ZV Greyscale 1-bit TzGuxPPT", "1.0");
  twainsim::SimScannerModel model;
  model.resolutions = {50, 75};
  model.resolutionDefault = 50;
  source.capabilities = twainsim::MakeCapabilities(model);
  return source;
}

twainsim::SimRule Refuse(bool toSource, TW_UINT16 dat, TW_UINT16 msg) {
  return {toSource, DG_CONTROL, dat, msg, twainsim::kAnyCap, TWRC_FAILURE, -1};
}

// A block that holds what a header says, and less.
TW_HANDLE ShortBlock(const twainsim::SimImageRequest &) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40 + 1024 + 100);
  GlobalLockGuard lock(h);
  auto *header = static_cast<BITMAPINFOHEADER *>(lock.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = 100;
  header->biHeight = 100; // 100 rows of 100 bytes; the block ends after one
  header->biPlanes = 1;
  header->biBitCount = 8;
  return h;
}

// A session trapped above rest waits for a page no source will announce:
// the wait ends on WM_QUIT (which it consumes), and the mark shows it.
bool g_waitedInVain = false;
void CALLBACK EndTheWait(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_waitedInVain = true;
  PostQuitMessage(0);
}

} // namespace

// Each row is one Copy on the same session and the same manager as the rows
// before it, so that whatever a request leaves behind meets the next one.
TEST_F(CopyJob, MisbehavingSourcesOneSessionManyRequests) {
  ASSERT_TRUE(twainsim::FreeLedger::Process().Watch(GetModuleHandleW(nullptr)));
  HWND owner = CreateWindowExW(0, L"STATIC", L"ZV copy owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               100, 100, 600, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, owner);
  session->Shutdown();
  session.reset();
  twainsim::SimConfig config;
  config.sources.push_back(Flatbed({50, 75}));
  config.sources.push_back(GreyscaleForBw());
  // The manager closes a source left open with it, as TWAINDSM.DLL and
  // Wine's manager do.
  config.closeDsmClosesSources = true;
  engine = std::make_unique<SimEngine>(config);
  g_engine = engine.get();
  session = std::make_unique<ScannerSession>(owner, &SimEntry);
  ASSERT_TRUE(session->IsAvailable());
  const std::uint32_t flatbed = ScannerIdOf(config.sources[0].identity);
  const std::uint32_t greyForBw = ScannerIdOf(config.sources[1].identity);
  ASSERT_EQ(0xA510B7A9u, greyForBw);

  using Behaviour = twainsim::SimBehaviour;
  struct Row {
    const char *what;
    std::uint32_t scanner;
    std::function<void(Behaviour &, std::vector<twainsim::SimRule> &, twainsim::SimConfig &)>
        misbehave;
    int pages;
    bool told;
  };
  const Row rows[] = {
      {"a page", flatbed, [](Behaviour &, auto &, auto &) {}, 1, false},
      {"then a source that does not open", flatbed,
       [](Behaviour &b, auto &, auto &) { b.openRc = TWRC_FAILURE; }, 0, true},
      {"a 1-bit page made from greyscale", greyForBw, [](Behaviour &, auto &, auto &) {}, 1,
       false},
      {"then that source does not open", greyForBw,
       [](Behaviour &b, auto &, auto &) { b.openRc = TWRC_FAILURE; }, 0, true},
      {"one late transfer", flatbed, [](Behaviour &b, auto &, auto &) { b.lateTransfers = 1; },
       1, false},
      {"two late transfers", flatbed,
       [](Behaviour &b, auto &, auto &) { b.lateTransfers = 2; }, 1, false},
      {"three late transfers", flatbed,
       [](Behaviour &b, auto &, auto &) { b.lateTransfers = 3; }, 1, false},
      {"a late TWRC_CANCEL after a late image", flatbed,
       [](Behaviour &b, auto &, auto &) {
         b.lateTransfers = 2;
         b.nativeXferAnswers = {TWRC_XFERDONE, TWRC_XFERDONE, TWRC_CANCEL};
       },
       1, false},
      {"TWRC_SUCCESS with a handle", flatbed,
       [](Behaviour &b, auto &, auto &) {
         b.nativeXferRc = TWRC_SUCCESS;
         b.imageWithAnyAnswer = true;
       },
       0, true},
      {"TWRC_XFERDONE with a null handle", flatbed,
       [](Behaviour &b, auto &, auto &) { b.doneWithoutImage = true; }, 0, true},
      {"pending count 0xFFFF, MSG_RESET refused", flatbed,
       [](Behaviour &b, auto &rules, auto &) {
         b.imageCount = 2;
         b.endXferCounts = {0xFFFF};
         rules.push_back(Refuse(true, DAT_PENDINGXFERS, MSG_RESET));
       },
       1, false},
      {"MSG_DISABLEDS refused", flatbed,
       [](Behaviour &, auto &rules, auto &) {
         rules.push_back(Refuse(true, DAT_USERINTERFACE, MSG_DISABLEDS));
       },
       1, false},
      {"MSG_CLOSEDS refused", flatbed,
       [](Behaviour &, auto &rules, auto &) {
         rules.push_back(Refuse(false, DAT_IDENTITY, MSG_CLOSEDS));
       },
       1, false},
      {"MSG_ENDXFER refused", flatbed,
       [](Behaviour &, auto &rules, auto &) {
         rules.push_back(Refuse(true, DAT_PENDINGXFERS, MSG_ENDXFER));
       },
       1, false},
      {"MSG_CLOSEDSREQ twice", flatbed,
       [](Behaviour &b, auto &, auto &) {
         b.outcome = twainsim::SimOutcome::CloseRequest;
         b.notifyTimes = 2;
       },
       0, false},
      {"MSG_CLOSEDSREQ during the transfer", flatbed,
       [](Behaviour &b, auto &, auto &) { b.closeRequestWithTransfer = true; }, 1, false},
      {"MSG_XFERREADY twice before the transfer", flatbed,
       [](Behaviour &b, auto &, auto &) { b.notifyTimes = 2; }, 1, false},
      {"a DIB-section bitmap, -1 dpi", flatbed,
       [](Behaviour &b, auto &, auto &) { b.bitmapImage = true; }, 1, false},
      {"a block shorter than its header", flatbed,
       [](Behaviour &, auto &, twainsim::SimConfig &c) { c.imageProvider = ShortBlock; }, 0,
       true},
      {"a block that cannot be locked", flatbed,
       [](Behaviour &, auto &, twainsim::SimConfig &c) {
         c.imageProvider = [](const twainsim::SimImageRequest &) -> TW_HANDLE {
           return GlobalAlloc(GMEM_MOVEABLE, 0);
         };
       },
       0, true},
      {"and a page again", flatbed, [](Behaviour &, auto &, auto &) {}, 1, false},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    twainsim::SimConfig &live = engine->Config();
    for (twainsim::SimSource &source : live.sources)
      source.behaviour = Behaviour();
    live.imageProvider = nullptr;
    std::vector<twainsim::SimRule> rules;
    const std::size_t index = row.scanner == flatbed ? 0 : 1;
    row.misbehave(live.sources[index].behaviour, rules, live);
    engine->SetRules(rules);
    if (session->scannerId != row.scanner) {
      ASSERT_EQ(row.scanner, session->SelectSource(row.scanner, false));
    }
    engine->ClearCalls();
    recorder = Recorder();
    recorder.discardDocuments = true;
    const std::size_t twiceBefore = engine->FreedTwice();
    const std::size_t notFreedBefore = engine->NotFreed();

    g_waitedInVain = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10000, EndTheWait);
    EXPECT_TRUE(Run(Params(1)));
    KillTimer(nullptr, timer);
    EXPECT_FALSE(g_waitedInVain) << "the request waited for a page that never came";

    EXPECT_EQ(std::size_t(row.pages), recorder.drawings.size()) << "pages printed";
    EXPECT_EQ(row.pages, Count("EndPage"));
    EXPECT_EQ(row.pages == 0 ? 1 : 0, Count("AbortDoc"));
    EXPECT_EQ(row.told ? 1u : 0u, recorder.boxes.size()) << "message shown";
    if (row.told && !recorder.boxes.empty()) {
      EXPECT_EQ(L"The scanner delivered no page.", recorder.boxes[0].text);
    }
    for (const Drawing &d : recorder.drawings)
      EXPECT_GT(d.sourceWidth, 0);
    EXPECT_EQ(StateManagerLoaded, session->state) << "the session at rest";
    EXPECT_EQ(2, engine->ManagerState());
    EXPECT_EQ(3, engine->SourceState());
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner left disabled";
    EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));
    EXPECT_EQ(twiceBefore, engine->FreedTwice()) << "blocks given back twice";
    EXPECT_EQ(notFreedBefore, engine->NotFreed()) << "blocks not given back";
    // Every request sends its own settings before its page comes.
    std::vector<std::string> names;
    for (const twainsim::SimCall &call : engine->Calls())
      names.push_back(call.Name());
    const auto transfer = std::find(names.begin(), names.end(), "DS IMAGENATIVEXFER GET");
    if (transfer != names.end()) {
      EXPECT_NE(transfer, std::find(names.begin(), transfer, "DS SET ICAP_PIXELTYPE"))
          << "a page transferred without this request's settings";
    }
  }
  session->Shutdown();
  EXPECT_EQ(0u, engine->NotFreed());
  EXPECT_EQ(0u, engine->FreedTwice());
  DestroyWindow(owner);
}

// A driver that will not take a bitmap of more than a few rows: the page is
// drawn again in bands after the whole page was refused. The bands must
// cover exactly the rectangle the one call was given, and each must hold
// the rows of the picture that belong at its place on paper: row y at
// Y(y) = y * height on paper / rows, whichever way up the rows are stored.
TEST_F(CopyJob, RefusedPageIsDrawnInBandsThatTileIt) {
  constexpr int kWidth = 37, kRefuseAbove = 6;
  int height = 41;
  for (bool topDown : {false, true}) {
    for (std::uint32_t scale : {10000u, 14138u, 5000u}) {
      for (int bits : {1, 8, 24}) {
        height += 4; // odd row counts from 45 to 113
        SCOPED_TRACE(std::string(topDown ? "top-down " : "bottom-up ") + std::to_string(bits) +
                     "-bit, " + std::to_string(height) + " rows at " + std::to_string(scale));
        Start(Flatbed({50, 75}), RowNumberedPage(kWidth, height, bits, topDown));
        recorder = Recorder();
        recorder.discardDocuments = true;
        recorder.caps = {{LOGPIXELSX, 300}, {LOGPIXELSY, 300}};
        recorder.refuseRowsAbove = kRefuseAbove;
        EXPECT_TRUE(Run(Params(1, 0, 0, scale)));
        EXPECT_TRUE(recorder.boxes.empty());
        EXPECT_EQ(1, Count("EndPage"));
        EXPECT_EQ(0, Count("AbortDoc"));

        // First the whole page, as one call.
        ASSERT_GT(recorder.drawings.size(), 1u);
        const Drawing whole = recorder.drawings[0];
        const int paperWidth = int(std::int64_t(kWidth) * scale / 10000);
        const int paperHeight = int(std::int64_t(height) * scale / 10000);
        EXPECT_TRUE(whole.refused);
        EXPECT_EQ(0, whole.x);
        EXPECT_EQ(0, whole.y);
        EXPECT_EQ(paperWidth, whole.width);
        EXPECT_EQ(paperHeight, whole.height);
        std::vector<int> all(height);
        for (int y = 0; y < height; ++y)
          all[y] = y;
        EXPECT_EQ(all, whole.rows);

        // Then the bands it took, top to bottom.
        int nextRow = 0, nextTop = 0, bands = 0;
        for (std::size_t i = 1; i < recorder.drawings.size(); ++i) {
          const Drawing &d = recorder.drawings[i];
          if (d.refused)
            continue;
          ++bands;
          SCOPED_TRACE("band from row " + std::to_string(nextRow));
          ASSERT_FALSE(d.rows.empty());
          ASSERT_LE(int(d.rows.size()), kRefuseAbove);
          for (std::size_t k = 0; k < d.rows.size(); ++k)
            ASSERT_EQ(nextRow + int(k), d.rows[k]) << "row " << k << " of the band";
          const int endRow = nextRow + int(d.rows.size());
          EXPECT_EQ(whole.x, d.x);
          EXPECT_EQ(whole.width, d.width);
          EXPECT_EQ(nextTop, d.y);
          EXPECT_EQ(int(std::int64_t(nextRow) * paperHeight / height), d.y);
          EXPECT_EQ(int(std::int64_t(endRow) * paperHeight / height), d.y + d.height);
          nextRow = endRow;
          nextTop = d.y + d.height;
        }
        EXPECT_GT(bands, 1);
        EXPECT_EQ(height, nextRow) << "every row of the picture drawn";
        EXPECT_EQ(whole.y + whole.height, nextTop) << "the page's rectangle covered";
        EXPECT_EQ(0u, engine->LiveImages());
      }
    }
  }
}

// A driver that draws nothing, whatever it is given, and says so with
// GDI_ERROR or with 0 (a call that copied no scan line): the page is not
// printed blank and passed off as a copy. The document is thrown away and
// the user told, as for a page that could not be started or finished. A fax
// whose driver stops drawing at the second of three copies keeps the first
// copy, a document of its own, sent; the third is never started.
TEST_F(CopyJob, PageTheDriverWillNotDrawIsReported) {
  struct Case {
    const char *what;
    std::uint32_t copies, perCopy;
    int refuseFrom, refusal;
    int startDocs, startPages, endPages, endDocs;
  } cases[] = {
      {"copy, GDI_ERROR", 2, 0, 1, int(GDI_ERROR), 1, 1, 0, 0},
      {"copy, no scan line", 2, 0, 1, 0, 1, 1, 0, 0},
      // The first copy's page is drawn in one call.
      {"fax, from the second copy", 3, 1, 2, int(GDI_ERROR), 2, 2, 1, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Start(Flatbed({50, 75}), RowNumberedPage(37, 29, 24, false));
    recorder = Recorder();
    recorder.refuseDrawingFrom = c.refuseFrom;
    recorder.refusal = c.refusal;
    EXPECT_FALSE(Run(Params(c.copies, c.perCopy)));
    EXPECT_GT(recorder.drawings.size(), std::size_t(c.refuseFrom)) << "bands were tried";
    EXPECT_EQ(c.startDocs, Count("StartDoc"));
    EXPECT_EQ(c.startPages, Count("StartPage"));
    EXPECT_EQ(c.endPages, Count("EndPage"));
    EXPECT_EQ(c.endDocs, Count("EndDoc"));
    EXPECT_EQ(1, Count("AbortDoc"));
    EXPECT_EQ(1, Count("DeleteDC"));
    ASSERT_EQ(1u, recorder.boxes.size());
    EXPECT_EQ(TextErrorCopy, recorder.boxes[0].text);
    EXPECT_TRUE(recorder.boxes[0].defaultCaption);
    EXPECT_EQ(UINT(MB_ICONERROR), recorder.boxes[0].type);
    EXPECT_EQ(0u, engine->LiveImages());
    EXPECT_EQ(2, session->state);
  }
}
