// Identifiers of the test dialogs in test_dialogs.rc.
#pragma once

// A fixed-size dialog (no WS_THICKFRAME), like the copier's own.
#define IDD_FIXED 100
#define IDC_EDIT 1001
#define IDC_BUTTON 1002
#define IDC_COMBO 1003
#define IDC_EDIT2 1004

// A resizable dialog with a status bar, for the layout.
#define IDD_RESIZABLE 200
#define IDC_TALL 2031
#define IDC_STRETCH 2011
#define IDC_MOVE 2012
#define IDC_HALF 2021
#define IDC_ORPHAN 2022
#define IDC_STATUS 2099
// A resizable dialog with neither a layout nor a status bar.
#define IDD_PLAIN_RESIZABLE 300
#define IDC_PLAIN 3001

// In the layout table but not in the template.
#define IDC_MISSING 9999

// No template has this id.
#define IDD_MISSING 4242
