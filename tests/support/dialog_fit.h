#pragma once
// Whether a dialog's controls show whole at the screen's DPI: each text within its
// control, each control within the dialog, none over another.
#include <windows.h>
#include <string>
#include <vector>

// Wine reads the screen's DPI when a program starts: a check at another DPI runs in a
// copy of the test program started while the prefix has it, and the prefix's own value
// is put back afterwards.
struct PrefixDpi {
    explicit PrefixDpi(DWORD dpi);
    ~PrefixDpi();
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

    DWORD saved = 0;
    bool had = false;
    bool set = false;
};

// Runs this test program again, with only the given test, while the prefix has dpi; the
// variable CLIPVOCE_TEST_DPI tells the copy which DPI to expect. Returns its exit code.
long RunAtPrefixDpi(DWORD dpi, const wchar_t* testName);
// The DPI a copy started by RunAtPrefixDpi is to check, or 0 when run otherwise.
int DpiToCheck();

std::wstring ControlText(HWND control);
// The text's extent as the control draws it: words wrapped at its width, and a push
// button's label inside its edge.
SIZE DrawnExtent(HWND control, int width);

// What is wrong with the visible controls among `controls`, as a user would see it, by
// name: a text cut off by its control, something drawn outside bounds (client
// coordinates of dialog), or over another control. A label's room past the end of its
// text is nothing drawn; group boxes frame others and may hold them.
std::vector<std::string> LayoutFaults(HWND dialog, const std::vector<HWND>& controls, const RECT& bounds);
