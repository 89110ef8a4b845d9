#pragma once
// The About dialog and its artwork.
#define IDD_ABOUT                   40068
#define IDC_ABOUT_TEXT              40069
#define IDC_ABOUT_WEB               40054
#define IDC_ABOUT_CHECK_UPDATES     40086
#define IDC_ABOUT_MAIL              40087
#define IDC_ABOUT_DONATE            40088
#define IDC_ABOUT_SOCIAL            40089

#define IDB_MAKER_LOGO              113
#define IDB_MAKER_LETTERING         114
#define IDB_PROGRAM_LOGO            115
#define IDB_DONATE                  116
#define IDB_SOCIAL                  117
