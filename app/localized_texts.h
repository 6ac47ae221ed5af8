// The module instance and the texts of the program's string table, loaded
// once at start-up in the user's language.
#pragma once

#include <windows.h>

#include <string>

#include "app/string_table.h"

extern HINSTANCE ModuleInstance;

extern std::wstring TextDocumentName;   // 1: the name of every print job
extern std::wstring TextErrorDocument;  // 2: a print document cannot be started
extern std::wstring TextNoScanner;      // 3: no TWAIN source manager or scanner
extern std::wstring TextErrorScan;      // 4: the scanner delivered no page (failed, not cancelled)
extern std::wstring TextErrorCopy;      // 5: a page cannot be started or finished
extern std::wstring TextModeBlackWhite; // 6
extern std::wstring TextModeGreyscale;  // 7
extern std::wstring TextModeColor;      // 8

// The caption of the program's own message boxes, the same in every language.
constexpr wchar_t kProgramCaption[] = L"Zelvantor Copier";

// String `id` of ModuleInstance's string table in the language the resource
// loader picks for this thread, read straight from the raw resource.
std::wstring LoadLocalizedString(unsigned id);

// Fills the Text* strings, in ascending id order.
void LoadLocalizedTexts();
