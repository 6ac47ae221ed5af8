// Keeps the printer entries in the current user's registry, one key per
// printer index, so that the chosen printers survive a restart.
#pragma once

#include <string>

// "Software\Zelvantor\Copier\<index>" under HKEY_CURRENT_USER.
std::wstring PrinterKeyPath(int index);

// Writes entry `index` of PrinterSettings. False only when the key cannot be
// opened (or the index is not a printer index); single writes are not checked.
bool SavePrinterSettings(int index);

// Fills entry `index` of PrinterSettings from its key. True only when every
// stored value was accepted; on any refusal the entry is left exactly as it
// was and every block read for this load is released.
bool LoadPrinterSettings(int index);
