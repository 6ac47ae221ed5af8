/* Dialog template 1, the copier's window, and the ids of its controls. One
   list for the resource script, the dialog's code and the programs that
   drive the dialog: plain preprocessor numbers, as the resource compiler
   reads them. */
#ifndef ZV_MAIN_DIALOG_IDS_H
#define ZV_MAIN_DIALOG_IDS_H

#define ZV_MAIN_DIALOG 1

/* The four buttons of the bottom row: Copy is the default button (Enter),
   Quit the cancel button (Esc and the close box). */
#define ZV_ID_COPY 1
#define ZV_ID_QUIT 2
#define ZV_ID_FAX 3
#define ZV_ID_HELP 9

#define ZV_ID_SCANNER_NAME 101
#define ZV_ID_SCANNER_BROWSE 102
#define ZV_ID_COPY_PRINTER_NAME 103
#define ZV_ID_COPY_PRINTER_BROWSE 104
#define ZV_ID_COPIES 105
#define ZV_ID_COPIES_UPDOWN 106
#define ZV_ID_PERCENT 107
#define ZV_ID_PERCENT_UPDOWN 108
#define ZV_ID_FAX_PRINTER_NAME 109
#define ZV_ID_FAX_PRINTER_BROWSE 110
#define ZV_ID_PERCENT_OPTION 1010
#define ZV_ID_PAPER_OPTION 1011
#define ZV_ID_SOURCE_PAPER 1012
#define ZV_ID_DESTINATION_PAPER 1013
#define ZV_ID_BRIGHTNESS 1014
#define ZV_ID_MODE 1018

#endif
