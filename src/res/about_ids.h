#pragma once
// The About dialog and its artwork.
#define IDD_ABOUT                   40068
#define IDC_ABOUT_TEXT              40069
#define IDC_ABOUT_WEB               40054
#define IDC_ABOUT_CHECK_UPDATES     40086
#define IDC_ABOUT_MAIL              40087
#define IDC_ABOUT_DONATE            40088
#define IDC_ABOUT_SOCIAL            40089
#define IDC_ABOUT_UPDATE_STATUS     40150
#define IDC_ABOUT_CANCEL_UPDATE     40151

// Watches a running update check for a server that has gone silent.
#define IDT_ABOUT_UPDATE_WATCH      1
#define ABOUT_UPDATE_WATCH_MS       1000

#define IDB_MAKER_LOGO              113
#define IDB_MAKER_LETTERING         114
#define IDB_PROGRAM_LOGO            115
#define IDB_DONATE                  116
#define IDB_SOCIAL                  117
