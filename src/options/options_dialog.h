#pragma once
// The Options dialog frame: a tab strip over one page at a time, and OK, Cancel and
// "Reset settings". The pages edit AppSettings in place, so the frame keeps what it
// needs to put everything back on Cancel.
#include <windows.h>

// Tab shown first when the dialog opens (0 Speech, 3 Help); back to 0 once it has opened.
extern int startTab;
// The page on show.
extern HWND currentPage;
// The Speech window's screen rectangle when the dialog opened.
extern RECT openRect;
// Where OK leaves the Speech window; the Appearance page's position buttons set it.
extern RECT targetRect;

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Ends an open Options dialog as its Cancel button does, putting back what its pages
// changed; nothing happens when it is not open.
void CancelOptionsDialog();
