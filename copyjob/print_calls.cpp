#include "copyjob/print_calls.h"

namespace {

const PrintCalls kReal = {CreateDCW,     StartDocW,        ResetDCW,          StartPage,
                          EndPage,       EndDoc,           AbortDoc,          DeleteDC,
                          MessageBoxW,   GetDeviceCaps,    SetViewportOrgEx,  SetStretchBltMode,
                          StretchDIBits};
const PrintCalls *g_current = &kReal;

} // namespace

const PrintCalls &RealPrintCalls() { return kReal; }
const PrintCalls &CurrentPrintCalls() { return *g_current; }
void SetPrintCalls(const PrintCalls *calls) { g_current = calls ? calls : &kReal; }
