#include "app/localized_texts.h"

HINSTANCE ModuleInstance = nullptr;

std::wstring TextDocumentName;
std::wstring TextErrorDocument;
std::wstring TextNoScanner;
std::wstring TextErrorScan;
std::wstring TextErrorCopy;
std::wstring TextModeBlackWhite;
std::wstring TextModeGreyscale;
std::wstring TextModeColor;

std::wstring LoadLocalizedString(unsigned id) {
  HRSRC info = FindResourceW(ModuleInstance, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6));
  if (info == nullptr)
    return std::wstring();
  HGLOBAL loaded = LoadResource(ModuleInstance, info);
  const void *block = loaded ? LockResource(loaded) : nullptr;
  return StringFromTableBlock(block, SizeofResource(ModuleInstance, info), id % 16);
}

void LoadLocalizedTexts() {
  TextDocumentName = LoadLocalizedString(1);
  TextErrorDocument = LoadLocalizedString(2);
  TextNoScanner = LoadLocalizedString(3);
  TextErrorScan = LoadLocalizedString(4);
  TextErrorCopy = LoadLocalizedString(5);
  TextModeBlackWhite = LoadLocalizedString(6);
  TextModeGreyscale = LoadLocalizedString(7);
  TextModeColor = LoadLocalizedString(8);
}
