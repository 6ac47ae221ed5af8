// Help: the about box of the copier, with the scanner report when Control is
// held.
#pragma once

class MainDialog;

// A message box owned by the dialog with the product line, the version and
// the maker's line carrying the build date; with Control down, a separator
// and the diagnostic report of the dialog's scanner follow.
void ShowAboutBox(MainDialog &dialog);
