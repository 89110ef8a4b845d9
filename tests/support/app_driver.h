#pragma once
// Drives the real clipvoce.exe from outside, the way a user would: start it, press
// keys, use its menu, read its caption, text and settings file.
#include <windows.h>
#include "pump.h"
#include <map>
#include <string>
#include <vector>

// Folder of the running test program; clipvoce.exe and the voice DLL lie beside it.
std::wstring BinFolder();
std::wstring ProgramPath();

class AppProcess {
public:
    // Starts clipvoce.exe with the given command line arguments (and, when not empty,
    // from a different executable path).
    explicit AppProcess(const std::wstring& arguments = L"", const std::wstring& exePath = L"");
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    // The Speech window of this process, waiting for it to appear.
    HWND Window(DWORD timeoutMs = 20000);
    bool Running() const;
    // Waits for the process to end; returns its exit code, or -1 on time-out.
    long WaitExit(DWORD timeoutMs = 20000);
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    HWND window_ = nullptr;
};

// Top-level windows of a process with the given class (empty: any).
std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className = nullptr);
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title, DWORD timeoutMs);
std::wstring WindowText(HWND window);
// The caption without the language a reading names after its state word ("playing DE").
std::wstring CaptionWithoutLanguage(const std::wstring& caption);
// The text of a message box's message (its static control).
std::wstring MessageBoxText(HWND box);
// Presses a button of a dialog or message box (IDOK, IDYES, IDNO...).
void PressDialogButton(HWND dialog, int id);
// Presses E in the Speech window of the process and saves under name (the save dialog adds
// the extension); false when no save dialog came.
bool ExportAs(DWORD processId, HWND window, const std::wstring& name);

// Keys reach the Speech window through its accelerator table, as typed. They arrive in
// the order pressed but may not have been handled when this returns. PressKey first
// brings the window to the front (a failure is reported); TypeKey types into whatever
// window has the keyboard focus, as a user does without clicking first.
void PressKey(HWND window, WORD virtualKey, bool control = false);
void TypeKey(HWND window, WORD virtualKey, bool control = false);
// The window is the foreground window and it (or a child) has the keyboard focus.
bool HasKeyboardFocus(HWND window);
// Types keys on the X desktop itself (xdotool's key names, "ctrl+q"): they reach the
// window that has the X input focus, exactly as a user's typing does.
bool TypeOnDesktop(const std::wstring& keys);
// Presses the keys in order and lets them go in reverse, through the platform's own input
// queue: the window in front stays in front. Without a window manager, keys typed on the
// X desktop can reach the desktop window instead, which then takes the front.
void PressTogether(const std::vector<WORD>& keys);

std::wstring TextViewText(HWND speechWindow);
HWND TextViewOf(HWND speechWindow);

// A message-only window of the test's own with its own class and procedure.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC procedure);

// The clipboard as another program uses it.
// With a mark, the format of that name (value 1) goes with it: a copy that asks clipboard
// monitors to leave it alone.
bool SetClipboardText(const std::wstring& text, const wchar_t* mark = nullptr);
std::wstring GetClipboardText();
// Leaves nothing on the clipboard, so a program that starts takes no earlier text.
void EmptyTheClipboard();

// The settings file of the test prefix.
std::wstring SettingsFolder();
std::wstring SettingsFile();
// The settings file, and the history beside it.
void RemoveSettingsFile();
void RemoveHistoryFile();
// Writes a complete settings file with the first-run values, changed by `changes`
// (section "window", "settings", "export" or "notes" / key → value text). The note on
// hearing a copy counts as seen unless "hearcopies" is "0".
void WriteSettingsFile(const std::map<std::wstring, std::wstring>& changes = {});
std::wstring ReadFileUtf8(const std::wstring& path);
// The value text of a key in a settings file's content ("" when missing).
std::wstring IniValue(const std::wstring& content, const std::wstring& key);
