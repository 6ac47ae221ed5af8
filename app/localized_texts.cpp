#include "app/localized_texts.h"

#include "imaging/little_endian.h"

HINSTANCE ModuleInstance = nullptr;

std::wstring TextDocumentName;
std::wstring TextErrorDocument;
std::wstring TextNoScanner;
std::wstring TextErrorScan;
std::wstring TextErrorCopy;
std::wstring TextModeBlackWhite;
std::wstring TextModeGreyscale;
std::wstring TextModeColor;

std::wstring StringFromTableBlock(const void *block, std::size_t bytes, unsigned index) {
  const auto *p = static_cast<const unsigned char *>(block);
  if (p == nullptr)
    return std::wstring();
  const std::size_t units = bytes / 2;
  auto unitAt = [p](std::size_t i) { return ReadU16(p + 2 * i); };
  std::size_t at = 0;
  for (unsigned i = 0; i < index % 16; ++i) {
    if (at >= units)
      return std::wstring();
    at += 1 + std::size_t(unitAt(at));
  }
  if (at >= units)
    return std::wstring();
  const std::size_t length = unitAt(at);
  if (length > units - at - 1) // a damaged table claims more than it holds
    return std::wstring();
  std::wstring text(length, L'\0');
  for (std::size_t i = 0; i < length; ++i)
    text[i] = wchar_t(unitAt(at + 1 + i));
  return text;
}

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
