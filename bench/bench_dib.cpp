// Times the grey check and the 8-bit to 1-bit conversion on an A4 page
// scanned at 600 dpi in 8-bit grey, against a plain memcpy of the same
// source bytes into an already-touched buffer in the same run, and prints
// each median and its ratio. The conversion is also shown in its two parts:
// its own pass into a block already touched, and the first touch of a fresh
// block of the result's size (page faults: the platform's cost, which
// ConvertDibDepth pays on every new result block).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bench/processor_name.h"
#include "imaging/dib.h"
#include "imaging/global_memory.h"

namespace {

constexpr int kWidth = 4960, kHeight = 7016, kRuns = 15;
constexpr std::size_t kHeader = 40, kTable = 256 * 4;
constexpr std::size_t kPixels = std::size_t(kWidth) * kHeight; // stride = width

enum class Table { Ramp, Reversed, Shuffled };

void WriteTable(unsigned char *block, Table kind) {
  unsigned char *t = block + kHeader;
  for (int i = 0; i < 256; ++i) {
    int grey = i;
    if (kind == Table::Reversed)
      grey = 255 - i;
    else if (kind == Table::Shuffled)
      grey = (i * 167 + 13) & 0xFF; // a permutation: 167 is odd
    t[4 * i] = t[4 * i + 1] = t[4 * i + 2] = static_cast<unsigned char>(grey);
    t[4 * i + 3] = 0;
  }
}

HGLOBAL MakePage() {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, kHeader + kTable + kPixels);
  GlobalLockGuard lock(h);
  if (!lock)
    return nullptr;
  unsigned char *p = lock.bytes();
  std::memset(p, 0, kHeader);
  WriteU32(p + dib_field::kSize, kHeader);
  WriteU32(p + dib_field::kWidth, kWidth);
  WriteU32(p + dib_field::kHeight, kHeight);
  WriteU16(p + dib_field::kPlanes, 1);
  WriteU16(p + dib_field::kBitCount, 8);
  WriteU32(p + dib_field::kXPelsPerMeter, 23622);
  WriteU32(p + dib_field::kYPelsPerMeter, 23622);
  WriteU32(p + dib_field::kClrUsed, 256);
  WriteTable(p, Table::Ramp);
  // A page-like mix: mostly white paper, grey text strokes, some noise.
  std::uint32_t seed = 12345;
  unsigned char *bits = p + kHeader + kTable;
  for (std::size_t i = 0; i < kPixels; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const unsigned r = seed >> 24;
    bits[i] = static_cast<unsigned char>(r < 40 ? r * 3 : 200 + (r & 0x37));
  }
  return h;
}

double Millis(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Measure {
  const char *name;
  std::function<void()> prepare; // untimed, before each run
  std::function<void()> timed;
  std::vector<double> ms;
};

// Runs every measure once per round, in turn, so that a busy machine slows
// the copy and the operations alike; then sorts each one's times.
void RunRounds(std::vector<Measure> &measures) {
  for (int round = 0; round < kRuns; ++round)
    for (Measure &m : measures) {
      m.prepare();
      const auto start = std::chrono::steady_clock::now();
      m.timed();
      m.ms.push_back(Millis(std::chrono::steady_clock::now() - start));
    }
  for (Measure &m : measures)
    std::sort(m.ms.begin(), m.ms.end());
}

} // namespace

int main() {
  HGLOBAL page = MakePage();
  if (!page) {
    std::puts("bench_dib: cannot allocate the page");
    return 1;
  }
  const std::size_t sourceBytes = GlobalSize(page);
  std::vector<unsigned char> copy(sourceBytes, 1); // touched: no page faults
  bool ok = true;

  auto setTable = [&](Table kind) {
    GlobalLockGuard lock(page);
    WriteTable(lock.bytes(), kind);
  };
  GlobalBlock result;
  auto freeResult = [&] { result.reset(); };
  std::size_t monoSize = 0;
  {
    setTable(Table::Ramp);
    GlobalLockGuard lock(page);
    monoSize = MonoDibSize(lock.data(), lock.size());
  }
  std::vector<unsigned char> warmMono(monoSize ? monoSize : 1, 1);
  HGLOBAL fresh = nullptr;
  auto newFresh = [&] {
    GlobalFree(fresh);
    fresh = GlobalAlloc(GMEM_MOVEABLE, monoSize);
  };
  std::vector<Measure> measures = {
      {"memcpy of the source bytes", [] {},
       [&] {
         GlobalLockGuard lock(page);
         std::memcpy(copy.data(), lock.data(), sourceBytes);
       },
       {}},
      {"NormalizeGreyPalette, reversed table", [&] { setTable(Table::Reversed); },
       [&] { ok = NormalizeGreyPalette(page) && ok; }, {}},
      {"NormalizeGreyPalette, shuffled grey table", [&] { setTable(Table::Shuffled); },
       [&] { ok = NormalizeGreyPalette(page) && ok; }, {}},
      {"NormalizeGreyPalette, ramp already there", [&] { setTable(Table::Ramp); },
       [&] { ok = NormalizeGreyPalette(page) && ok; }, {}},
      {"WriteMonoDib pass into a touched block", [&] { setTable(Table::Ramp); },
       [&] {
         GlobalLockGuard lock(page);
         ok = WriteMonoDib(lock.data(), lock.size(), warmMono.data(), monoSize) && ok;
       },
       {}},
      {"first touch of a fresh result-sized block", newFresh,
       [&] {
         GlobalLockGuard lock(fresh);
         ok = lock && ok;
         if (lock)
           std::memset(lock.data(), 0, monoSize);
       },
       {}},
      {"ConvertDibDepth to 1 bit (with its check)", freeResult, [&] {
         result = ConvertDibDepth(page, 1);
         ok = ok && result && DibBitCount(result.get()) == 1;
       },
       {}},
  };
  RunRounds(measures);
  freeResult();
  GlobalFree(fresh);
  GlobalFree(page);

  std::printf("processor: %s\n", ProcessorName().c_str());
  std::printf("page %d x %d, 8-bit grey, %zu bytes; 1-bit result %zu bytes; %d rounds\n", kWidth,
              kHeight, sourceBytes, monoSize, kRuns);
  // On a shared machine the fastest run is the one least disturbed by
  // others: both ratios are printed, each against the copy's own.
  std::printf("%-44s %10s %10s %9s %9s\n", "", "median", "fastest", "median", "fastest");
  const double copyMs = measures[0].ms[kRuns / 2], copyFastest = measures[0].ms[0];
  for (const Measure &m : measures)
    std::printf("%-44s %7.3f ms %7.3f ms %6.2f x %6.2f x copy\n", m.name, m.ms[kRuns / 2],
                m.ms[0], m.ms[kRuns / 2] / copyMs, m.ms[0] / copyFastest);
  if (!ok)
    std::puts("bench_dib: an operation failed");
  return ok ? 0 : 1;
}
