// The copy job's printing calls (copyjob/print_calls.h) recorded while a
// recorder lives, one record a call:
//
//   CreateDC device=ZelvantorPDF     StartDoc document=Copy     ResetDC
//   StartPage     StretchDIBits width=2480 height=3508     EndPage
//   EndDoc     AbortDoc     DeleteDC     MessageBox text="..." caption=default
//
// The printer is opened, asked and reset for real, but no document reaches
// it: the calls that make one (StartDoc to EndDoc and AbortDoc, the
// drawing) are recorded and answered as a printer that takes them would.
// Message boxes are recorded and not shown. One recorder at a time; its end
// puts the real calls back.
#pragma once

#include <string>
#include <vector>

#include "copyjob/print_calls.h"
#include "support/call_record.h"

class PrintRecorder {
public:
  PrintRecorder();
  ~PrintRecorder();
  PrintRecorder(const PrintRecorder &) = delete;
  PrintRecorder &operator=(const PrintRecorder &) = delete;

  // How many calls of that name were recorded.
  int Count(const std::string &call) const;

  std::vector<CallRecord> records;

private:
  PrintCalls calls_;
};

// A wide text as UTF-8, for records.
std::string Utf8(const std::wstring &text);
