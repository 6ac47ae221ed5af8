// One copy of an A4 page scanned at 600 dpi, from scan to paper, through
// the real copy job: the simulated manager delivers at once, the printer is
// the default (the CUPS PDF printer). Run twice per kind, colour and the
// greyscale-scanned black-and-white road of the scanner whose pages are
// thresholded by the copier; the second run is measured (the first loads
// the printer driver and fonts). Each kind is measured on both roads of the
// page drawing: the one call of the whole page the job tries first, and the
// bands it falls back to, forced here by refusing the page's first
// StretchDIBits the way a driver that cannot take the bitmap would.
//
// Prints, as ratios:
//   - peak private bytes above the level just before the copy, divided by
//     the size of the scanned image (sampled every millisecond by a second
//     thread). Private bytes are PagefileUsage, the process's commit charge:
//     Wine leaves PrivateUsage at 0 and reports its anonymous resident
//     memory there;
//   - the main thread's processor time for the copy, minus the time spent
//     inside the scanner's entry point, the document calls that hand the
//     pages to the spooler and the printer driver's StretchDIBits, divided
//     by one memcpy of the image into an already-touched buffer; and where
//     the time goes. Wine counts thread time in 10 ms ticks, so the same
//     split is printed in elapsed time as well.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/localized_texts.h"
#include "bench/processor_name.h"
#include "copyjob/copy_job.h"
#include "copyjob/print_calls.h"
#include "printing/printer_settings.h"
#include "tools/twainsim/sim_engine.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

// ---- processor time of the main thread, by where it is spent ----------------

double ThreadSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto s = [](const FILETIME &f) {
    return double((ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime) * 1e-7;
  };
  return s(kernel) + s(user);
}

double WallSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

struct Seconds {
  double cpu = 0, wall = 0;
};
Seconds Now() { return {ThreadSeconds(), WallSeconds()}; }
void Add(Seconds &to, const Seconds &start) {
  const Seconds end = Now();
  to.cpu += end.cpu - start.cpu;
  to.wall += end.wall - start.wall;
}

struct Account {
  // From the scanner's last call to the start of the page: the repair of
  // the delivered header, the 1-bit conversion, hiding the busy window.
  Seconds afterScan;
  Seconds lastScannerCall; // when it returned
  bool pageStarted = false;
  Seconds scanner; // inside the manager's entry point (the source's own work)
  Seconds spooler; // StartDoc, StartPage, EndPage, EndDoc, ...
  Seconds drawing; // StretchDIBits into the printer's device context
  int driverCalls = 0; // StretchDIBits calls that reached the driver
};
Account g_account;

template <typename F> auto Charged(Seconds &to, F f) {
  const Seconds start = Now();
  auto result = f();
  Add(to, start);
  return result;
}

twainsim::SimEngine *g_engine = nullptr;
TW_UINT16 WINAPI TimedEntry(TW_IDENTITY *o, TW_IDENTITY *d, TW_UINT32 dg, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data) {
  const TW_UINT16 rc =
      Charged(g_account.scanner, [&] { return g_engine->Entry(o, d, dg, dat, msg, data); });
  g_account.lastScannerCall = Now();
  return rc;
}

HDC WINAPI TCreateDC(LPCWSTR a, LPCWSTR b, LPCWSTR c, const DEVMODEW *m) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().createDC(a, b, c, m); });
}
int WINAPI TStartDoc(HDC dc, const DOCINFOW *i) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().startDoc(dc, i); });
}
HDC WINAPI TResetDC(HDC dc, const DEVMODEW *m) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().resetDC(dc, m); });
}
// The banded road: the first StretchDIBits of every page is refused, as a
// driver that cannot take the whole bitmap refuses it.
bool g_refuseWholePage = false;
int g_pageDraws = 0;

int WINAPI TStartPage(HDC dc) {
  g_pageDraws = 0;
  if (!g_account.pageStarted) {
    g_account.pageStarted = true;
    Add(g_account.afterScan, g_account.lastScannerCall);
  }
  return Charged(g_account.spooler, [&] { return RealPrintCalls().startPage(dc); });
}
int WINAPI TEndPage(HDC dc) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().endPage(dc); });
}
int WINAPI TEndDoc(HDC dc) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().endDoc(dc); });
}
int WINAPI TAbortDoc(HDC dc) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().abortDoc(dc); });
}
BOOL WINAPI TDeleteDC(HDC dc) {
  return Charged(g_account.spooler, [&] { return RealPrintCalls().deleteDC(dc); });
}
int WINAPI TMessageBox(HWND, LPCWSTR text, LPCWSTR, UINT) {
  std::fwprintf(stderr, L"bench_copy: the job reports: %ls\n", text);
  return IDOK;
}

void NoteDrawingStarts();
int WINAPI TStretch(HDC dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                    const void *bits, const BITMAPINFO *info, UINT usage, DWORD rop) {
  const bool first = g_pageDraws++ == 0;
  if (first)
    NoteDrawingStarts();
  if (g_refuseWholePage && first)
    return int(GDI_ERROR);
  ++g_account.driverCalls;
  return Charged(g_account.drawing, [&] {
    return RealPrintCalls().stretchDIBits(dc, x, y, w, h, sx, sy, sw, sh, bits, info, usage, rop);
  });
}
// The real calls with the timed ones in their places; made at run time,
// since the real table is itself filled when the program starts.
PrintCalls TimedCalls() {
  PrintCalls t = RealPrintCalls();
  t.createDC = TCreateDC;
  t.startDoc = TStartDoc;
  t.resetDC = TResetDC;
  t.startPage = TStartPage;
  t.endPage = TEndPage;
  t.endDoc = TEndDoc;
  t.abortDoc = TAbortDoc;
  t.deleteDC = TDeleteDC;
  t.messageBox = TMessageBox;
  t.stretchDIBits = TStretch;
  return t;
}

// ---- private bytes, sampled -------------------------------------------------

std::size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
  return c.PagefileUsage;
}

class PeakSampler;
PeakSampler *g_sampler = nullptr;
// The sampler's peak when the page's first StretchDIBits was made: what the
// job held before the driver's own buffers.
std::size_t g_peakBeforeDrawing = 0;

class PeakSampler {
public:
  PeakSampler() : peak_(PrivateBytes()), thread_([this] {
      while (!stop_) {
        const std::size_t now = PrivateBytes();
        if (now > peak_)
          peak_ = now;
        Sleep(1);
      }
    }) {}
  ~PeakSampler() { Stop(); }
  std::size_t PeakSoFar() {
    const std::size_t now = PrivateBytes();
    return now > peak_ ? now : std::size_t(peak_);
  }
  std::size_t Stop() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    return peak_;
  }

private:
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> peak_;
  std::thread thread_;
};

void NoteDrawingStarts() {
  if (g_sampler)
    g_peakBeforeDrawing = std::max(g_peakBeforeDrawing, g_sampler->PeakSoFar());
}

// ---- the copy -------------------------------------------------------------

constexpr int kDpi = 600;
constexpr std::size_t kA4Width = 4960, kA4Height = 7016; // 210 x 297 mm at 600 dpi

twainsim::SimSource Scanner() {
  twainsim::SimScannerModel model;
  // Only 600 dpi: the job picks the first resolution of 1.5 times its
  // target or more, so every mode scans at 600.
  model.resolutions = {double(kDpi)};
  model.resolutionDefault = kDpi;
  model.physicalWidth = 8.5;
  model.physicalHeight = 11.7;
  twainsim::SimSource source;
  // Its ScannerId is 0xA510B7A9: black and white is scanned as greyscale
  // and thresholded by the copier.
  source.identity = twainsim::MakeIdentity("Zelvantor", "Virtual Scanner",
                                           "ZV Greyscale 1-bit TzGuxPPT", "1.0");
  source.capabilities = twainsim::MakeCapabilities(model);
  return source;
}

struct Result {
  bool ok = false;
  std::size_t idle = 0, peak = 0, peakBeforeDrawing = 0;
  Seconds total;
  Account account;
};

Result OneCopy(std::int32_t mode, bool banded) {
  g_refuseWholePage = banded;
  twainsim::SimConfig config;
  config.sources.push_back(Scanner());
  config.maxImageSide = 10000;
  twainsim::SimEngine engine(std::move(config));
  g_engine = &engine;
  Result r;
  {
    ScannerSession session(nullptr, &TimedEntry);
    if (!session.IsAvailable())
      return r;
    ScannerProfile profile;
    session.GetScannerProfile(0, profile);
    CopyParameters params;
    params.copies = 1;
    params.mode = mode;
    g_account = Account();
    r.idle = PrivateBytes();
    PeakSampler sampler;
    g_sampler = &sampler;
    g_peakBeforeDrawing = 0;
    const Seconds start = Now();
    r.ok = RunCopyJob(session, PrinterSettings[0], params);
    Add(r.total, start);
    r.peak = sampler.Stop();
    g_sampler = nullptr;
    r.peakBeforeDrawing = g_peakBeforeDrawing;
    r.account = g_account;
    session.Shutdown();
  }
  r.ok = r.ok && engine.ImagesHandedOut() == 1 && engine.LiveImages() == 0;
  g_engine = nullptr;
  return r;
}

double MemcpySeconds(std::size_t bytes) {
  std::vector<unsigned char> from(bytes, 3), to(bytes, 1);
  double best = 1e9;
  for (int i = 0; i < 9; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                              .count());
  }
  return to[bytes / 2] == 3 ? best : 0;
}

} // namespace

int wmain() {
  ModuleInstance = GetModuleHandleW(nullptr);
  SetThreadLocale(MAKELCID(0x0409, SORT_DEFAULT));
  LoadLocalizedTexts();
  std::memset(PrinterSettings, 0, sizeof PrinterSettings);
  if (!SelectPrinter(nullptr, 0)) {
    std::puts("bench_copy: no default printer");
    return 1;
  }
  static const PrintCalls timed = TimedCalls();
  SetPrintCalls(&timed);

  struct Kind {
    const char *name;
    std::int32_t mode;
    int scanBits;
    double goal;
  } kinds[] = {{"colour (24-bit scan)", TWPT_RGB, 24, 1.1},
               {"black and white (8-bit grey scan, thresholded)", TWPT_BW, 8, 1.2}};
  bool ok = true;
  std::printf("processor: %s\n", ProcessorName().c_str());
  std::printf("A4 at %d dpi: %zu x %zu pixels; the default printer prints it\n", kDpi, kA4Width,
              kA4Height);
  for (const Kind &k : kinds) {
    const std::size_t image = (kA4Width * k.scanBits + 31) / 32 * 4 * kA4Height;
    OneCopy(k.mode, false); // warm-up: driver, fonts, first-use allocations
    const Result roads[2] = {OneCopy(k.mode, false), OneCopy(k.mode, true)};
    const double copy = MemcpySeconds(image);
    std::printf("\n%s: scanned image %.1f MB; memcpy of the image: %.2f ms\n", k.name,
                image / 1e6, copy * 1e3);
    std::printf("  %-28s %9s %9s %9s %6s | %20s | %20s\n", "road", "peak", "before", "driver",
                "calls", "drawing, thread CPU", "drawing, elapsed");
    for (int road = 0; road < 2; ++road) {
      const Result &r = roads[road];
      ok = ok && r.ok;
      auto ratio = [&](std::size_t level) {
        return double(level > r.idle ? level - r.idle : 0) / double(image);
      };
      const double peak = ratio(r.peak), before = ratio(r.peakBeforeDrawing);
      std::printf("  %-28s %8.2fx %8.2fx %8.2fx %6d | %8.1f ms %7.1fx | %8.1f ms %7.1fx%s\n",
                  road == 0 ? "one call of the whole page" : "bands (whole page refused)", peak,
                  before, peak - before, r.account.driverCalls, r.account.drawing.cpu * 1e3,
                  r.account.drawing.cpu / copy, r.account.drawing.wall * 1e3,
                  r.account.drawing.wall / copy, r.ok ? "" : " (FAILED)");
    }
    std::printf("  peak: private bytes above idle / image (goal <= %.1f); before: the same at\n"
                "  the page's first StretchDIBits; driver: what drawing the page added; calls:\n"
                "  StretchDIBits that reached the driver; drawing: time inside them, and as a\n"
                "  multiple of the memcpy\n",
                k.goal);
    const Result &r = roads[0];
    std::printf("  where the one-call copy's time goes:\n");
    auto line = [&](const char *what, const Seconds &t) {
      std::printf("    %-40s %8.1f ms %7.1f x | %8.1f ms %7.1f x memcpy\n", what, t.cpu * 1e3,
                  t.cpu / copy, t.wall * 1e3, t.wall / copy);
    };
    Seconds own = r.total;
    for (const Seconds *t : {&r.account.scanner, &r.account.spooler, &r.account.drawing}) {
      own.cpu -= t->cpu;
      own.wall -= t->wall;
    }
    std::printf("    %-40s %22s | %22s\n", "", "thread CPU", "elapsed");
    line("the whole copy", r.total);
    line("scanner (inside the manager's entry)", r.account.scanner);
    line("spooler (document calls)", r.account.spooler);
    line("printer driver (StretchDIBits)", r.account.drawing);
    line("the program's own (the rest)", own);
    line("  of which after the scan, before the page", r.account.afterScan);
  }
  SetPrintCalls(nullptr);
  if (!ok)
    std::puts("bench_copy: a copy failed");
  return ok ? 0 : 1;
}
