#include "app_driver.h"
#include "view/text_view_control.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <fstream>
#include <sstream>

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring ProgramPath()
{
    return BinFolder() + L"\\clipvoce.exe";
}

AppProcess::AppProcess(const std::wstring& arguments, const std::wstring& exePath)
{
    const std::wstring exe = exePath.empty() ? ProgramPath() : exePath;
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
    }
}

AppProcess::~AppProcess()
{
    Kill();
    if (process_)
        CloseHandle(process_);
}

void AppProcess::Kill()
{
    if (Running()) {
        TerminateProcess(process_, 1);
        // Until it has gone its single-instance mutex is held, and the next start of
        // the program would only say that another instance is running; on a loaded
        // machine Wine can take more than a few seconds to end a process.
        WaitForSingleObject(process_, 30000);
    }
}

bool AppProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

HWND AppProcess::Window(DWORD timeoutMs)
{
    if (!window_ || !IsWindow(window_)) {
        window_ = WaitForProcessWindow(id_, L"Clipvoce", nullptr, timeoutMs);
        // Found while still being created is too early: its text view comes with its
        // creation. The idle wait is only a hint, since start-up may look at its
        // queue before the message loop runs: callers wait for the state they need.
        if (window_) {
            if (!PumpUntil([&] { return TextViewOf(window_) != nullptr; }, timeoutMs))
                ADD_FAILURE() << "the Speech window never got its text view";
            WaitForInputIdle(process_, timeoutMs);
        }
    }
    return window_;
}

long AppProcess::WaitExit(DWORD timeoutMs)
{
    if (!process_)
        return -1;
    if (!PumpUntil([&] { return !Running(); }, timeoutMs))
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    if (search->className) {
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (wcscmp(name, search->className) != 0)
            return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

void SendKeyInput(WORD virtualKey, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (virtualKey == VK_RIGHT || virtualKey == VK_LEFT || virtualKey == VK_END || virtualKey == VK_HOME ||
        virtualKey == VK_DELETE || virtualKey == VK_APPS)
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    SendInput(1, &input, sizeof input);
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

} // namespace

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className)
{
    WindowSearch search{processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title, DWORD timeoutMs)
{
    HWND result = nullptr;
    PumpUntil([&] {
        for (HWND window : ProcessWindows(processId, className)) {
            if (!title || WindowText(window) == title) {
                result = window;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return result;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring CaptionWithoutLanguage(const std::wstring& caption)
{
    const size_t lines = caption.find(L"   [");
    auto isCapital = [&](size_t at) { return caption[at] >= L'A' && caption[at] <= L'Z'; };
    for (size_t letters = 2; lines != std::wstring::npos && letters <= 3 && lines > letters; ++letters) {
        const size_t blank = lines - letters - 1;
        if (caption[blank] == L' ' && isCapital(lines - 1) && isCapital(lines - letters) && isCapital(lines - 2))
            return caption.substr(0, blank) + caption.substr(lines);
    }
    return caption;
}

std::wstring MessageBoxText(HWND box)
{
    // The message is the static control with id 0xFFFF.
    wchar_t text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text;
}

void PressDialogButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool ExportAs(DWORD processId, HWND window, const std::wstring& name)
{
    PressKey(window, 'E');
    HWND save = WaitForProcessWindow(processId, L"#32770", L"Save As", 10000);
    if (!save)
        return false;
    HWND field = GetDlgItem(save, 0x47c);
    SetWindowTextW(field ? field : GetDlgItem(save, 0x480), name.c_str());
    PressDialogButton(save, IDOK);
    return true;
}

bool HasKeyboardFocus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return false;
    return GetForegroundWindow() == window && info.hwndActive == window &&
           (info.hwndFocus == window || IsChild(window, info.hwndFocus));
}

void TypeKey(HWND window, WORD virtualKey, bool control)
{
    if (control)
        SendKeyInput(VK_CONTROL, false);
    SendKeyInput(virtualKey, false);
    SendKeyInput(virtualKey, true);
    if (control)
        SendKeyInput(VK_CONTROL, true);
    // The keys reach the target through its input queue, after messages sent to it:
    // this only gives it a turn. Callers wait for the key's effect.
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    PumpPending();
}

void PressTogether(const std::vector<WORD>& keys)
{
    for (const WORD key : keys)
        SendKeyInput(key, false);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        SendKeyInput(*key, true);
}

bool TypeOnDesktop(const std::wstring& keys)
{
    // xdotool is a native program: Wine starts it by its path on the drive that maps
    // the Unix root, but gives no handle to wait on. Callers wait for the keys' effect.
    const wchar_t* program = L"Z:\\usr\\bin\\xdotool";
    std::wstring commandLine = L"xdotool key " + keys;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    if (info.hThread)
        CloseHandle(info.hThread);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    return true;
}

void PressKey(HWND window, WORD virtualKey, bool control)
{
    SetForegroundWindow(window);
    // Typed into another window, the key would be lost and the test would only learn
    // of it as a missing effect much later.
    if (!PumpUntil([&] { return HasKeyboardFocus(window); }, 5000))
        ADD_FAILURE() << "the window did not take the keyboard focus before key " << virtualKey;
    TypeKey(window, virtualKey, control);
}

HWND TextViewOf(HWND speechWindow)
{
    return FindWindowExW(speechWindow, nullptr, TextViewClassName, nullptr);
}

std::wstring TextViewText(HWND speechWindow)
{
    HWND view = TextViewOf(speechWindow);
    const auto length = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto got = SendMessageW(view, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got));
    return text;
}

HWND CreateMessageWindow(const wchar_t* className, WNDPROC procedure)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    return CreateWindowW(className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

namespace {

HGLOBAL GlobalBytes(const void* data, size_t bytes)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), data, bytes);
    GlobalUnlock(memory);
    return memory;
}

} // namespace

bool SetClipboardText(const std::wstring& text, const wchar_t* mark)
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(nullptr) != FALSE; }, 5000);
    if (!opened)
        return false;
    EmptyClipboard();
    bool placed = SetClipboardData(CF_UNICODETEXT, GlobalBytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t))) != nullptr;
    const DWORD on = 1;
    if (mark)
        placed = placed && SetClipboardData(RegisterClipboardFormatW(mark), GlobalBytes(&on, sizeof on)) != nullptr;
    CloseClipboard();
    return placed;
}

void EmptyTheClipboard()
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(nullptr) != FALSE; }, 5000);
    if (opened) {
        EmptyClipboard();
        CloseClipboard();
    }
}

std::wstring GetClipboardText()
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(nullptr) != FALSE; }, 5000);
    if (!opened)
        return L"<clipboard busy>";
    std::wstring text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

std::wstring SettingsFolder()
{
    // Wine's answer can turn into "file not found" later in a test program's life, and an
    // empty folder would put the test's settings file at the root of the current drive,
    // where the program never looks: the profile's own variable is the fallback.
    wchar_t appData[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            ADD_FAILURE() << "the profile's application data folder is unknown";
    }
    return std::wstring(appData) + L"\\Clipvoce";
}

std::wstring SettingsFile()
{
    return SettingsFolder() + L"\\clipvoce.ini";
}

// The history beside the settings would bring an earlier test's last text back.
void RemoveHistoryFile()
{
    DeleteFileW((SettingsFolder() + L"\\history.dat").c_str());
}

void RemoveSettingsFile()
{
    DeleteFileW(SettingsFile().c_str());
    RemoveHistoryFile();
}

void WriteSettingsFile(const std::map<std::wstring, std::wstring>& changes)
{
    const std::vector<std::pair<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>> layout = {
        {L"window", {{L"x", L"600"}, {L"y", L"400"}, {L"width", L"300"}, {L"height", L"150"}, {L"border", L"1"},
                     {L"window", L"1"}, {L"close", L"1"}, {L"delete", L"1"}, {L"top", L"1"}, {L"transparency", L"255"},
                     {L"background", L"16777215"}, {L"text", L"0"}, {L"bold", L"1"}, {L"italic", L"0"},
                     {L"point", L"-13"}, {L"charset", L"0"}, {L"font", L"Courier New"}}},
        {L"settings", {{L"confirm", L"0"}, {L"start", L"0"}, {L"clipboard", L"1"}, {L"append", L"0"},
                       {L"repeat", L"0"}, {L"rate", L"-1"}, {L"autoplay", L"0"}, {L"autoscroll", L"1"},
                       {L"fulltext", L"1"}}},
        {L"export", {{L"wav", L"1"}, {L"mp3rate", L"128"}, {L"wavdir", L""}, {L"lamedir", L""}, {L"mp3dir", L""}}},
        // The note on hearing a copy, which would stand in the caption after the first copy.
        {L"notes", {{L"hearcopies", L"1"}}},
    };
    std::wstring content;
    for (const auto& [section, keys] : layout) {
        content += L"[" + section + L"]\r\n";
        for (const auto& [key, value] : keys) {
            const auto changed = changes.find(key);
            content += key + L"=" + (changed != changes.end() ? changed->second : value) + L"\r\n";
        }
        content += L"\r\n";
    }
    CreateDirectoryW(SettingsFolder().c_str(), nullptr);
    RemoveHistoryFile();
    std::ofstream file(SettingsFile().c_str(), std::ios::binary | std::ios::trunc);
    file << ToUtf8(content);
}

std::wstring ReadFileUtf8(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return FromUtf8(bytes.str());
}

std::wstring IniValue(const std::wstring& content, const std::wstring& key)
{
    const std::wstring needle = L"\n" + key + L"=";
    const size_t at = content.find(needle);
    if (at == std::wstring::npos)
        return {};
    const size_t start = at + needle.size();
    return content.substr(start, content.find_first_of(L"\r\n", start) - start);
}
