#include "support/print_recorder.h"

#include <algorithm>

namespace {

PrintRecorder *g_recorder = nullptr;

// A value with blanks goes in quotes, as records write it.
std::string Value(const std::wstring &text) {
  const std::string utf8 = Utf8(text);
  return utf8.find(' ') == std::string::npos && !utf8.empty() ? utf8 : "\"" + utf8 + "\"";
}

CallRecord &Record(const char *call) {
  g_recorder->records.push_back(CallRecord{call, {}, ""});
  return g_recorder->records.back();
}

HDC WINAPI RecCreateDC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW *mode) {
  Record("CreateDC").With("device", Value(device ? device : L""));
  return RealPrintCalls().createDC(driver, device, output, mode);
}
// A job number, as StartDoc gives one.
int g_job = 0;

int WINAPI RecStartDoc(HDC, const DOCINFOW *info) {
  Record("StartDoc").With("document", Value(info && info->lpszDocName ? info->lpszDocName : L""));
  return ++g_job;
}
HDC WINAPI RecResetDC(HDC dc, const DEVMODEW *mode) {
  Record("ResetDC");
  return RealPrintCalls().resetDC(dc, mode);
}
int WINAPI RecStartPage(HDC) {
  Record("StartPage");
  return 1;
}
int WINAPI RecEndPage(HDC) {
  Record("EndPage");
  return 1;
}
int WINAPI RecEndDoc(HDC) {
  Record("EndDoc");
  return 1;
}
int WINAPI RecAbortDoc(HDC) {
  Record("AbortDoc");
  return 1;
}
BOOL WINAPI RecDeleteDC(HDC dc) {
  Record("DeleteDC");
  return RealPrintCalls().deleteDC(dc);
}
int WINAPI RecMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  Record("MessageBox")
      .With("text", Value(text ? text : L""))
      .With("caption", caption ? Value(caption) : "default");
  return IDOK;
}
int WINAPI RecStretchDIBits(HDC, int, int, int width, int height, int, int, int,
                            int sourceHeight, const void *, const BITMAPINFO *, UINT, DWORD) {
  Record("StretchDIBits")
      .With("width", std::to_string(width))
      .With("height", std::to_string(height));
  return sourceHeight;
}

} // namespace

std::string Utf8(const std::wstring &text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string out(std::size_t(std::max(bytes, 0)), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], bytes, nullptr,
                        nullptr);
  return out;
}

PrintRecorder::PrintRecorder() : calls_(RealPrintCalls()) {
  // By name, so that calls the table may gain keep going to the printer.
  calls_.createDC = RecCreateDC;
  calls_.startDoc = RecStartDoc;
  calls_.resetDC = RecResetDC;
  calls_.startPage = RecStartPage;
  calls_.endPage = RecEndPage;
  calls_.endDoc = RecEndDoc;
  calls_.abortDoc = RecAbortDoc;
  calls_.deleteDC = RecDeleteDC;
  calls_.messageBox = RecMessageBox;
  calls_.stretchDIBits = RecStretchDIBits;
  g_recorder = this;
  SetPrintCalls(&calls_);
}

PrintRecorder::~PrintRecorder() {
  SetPrintCalls(nullptr);
  g_recorder = nullptr;
}

int PrintRecorder::Count(const std::string &call) const {
  return int(std::count_if(records.begin(), records.end(),
                           [&](const CallRecord &r) { return r.call == call; }));
}
