// The settings as a user meets them: clipvoce.exe is started, driven with its keys and
// ended, and what it left in the settings file and the Run key is read from outside.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "pump.h"

namespace {

constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t RunValueName[] = L"Clipvoce";
constexpr DWORD Patience = 20000;

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring SettingsFolder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\Clipvoce";
}

std::wstring SettingsFile() { return SettingsFolder() + L"\\clipvoce.ini"; }
std::wstring RejectedFile() { return SettingsFile() + L".rejected"; }

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring RunValue()
{
    wchar_t data[1024] = L"";
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKey, RunValueName, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

void DeleteRunValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, RunValueName);
        RegCloseKey(key);
    }
}

// A settings file as the program would find it after some use; `start` and `window`
// vary between tests.
std::string SettingsText(bool start)
{
    return std::string("[window]\r\nx=100\r\ny=120\r\nwidth=300\r\nheight=150\r\nborder=1\r\nwindow=1\r\nclose=1\r\n"
                       "delete=1\r\ntop=1\r\ntransparency=255\r\nbackground=16777215\r\ntext=0\r\nbold=1\r\n"
                       "italic=0\r\npoint=-13\r\ncharset=0\r\nfont=Courier New\r\n\r\n"
                       "[settings]\r\nconfirm=0\r\nstart=") + (start ? "1" : "0") +
           "\r\nclipboard=1\r\nappend=0\r\nrepeat=0\r\nrate=-1\r\nautoplay=0\r\nautoscroll=1\r\nfulltext=1\r\n\r\n"
           "[export]\r\nwav=1\r\nmp3rate=128\r\nwavdir=\r\nlamedir=\r\nmp3dir=\r\n\r\n";
}

struct FindContext {
    DWORD processId;
    const wchar_t* className;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* context = reinterpret_cast<FindContext*>(param);
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == context->processId && wcscmp(className, context->className) == 0
        && (!context->owner || GetWindow(window, GW_OWNER) == context->owner)) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className, HWND owner = nullptr)
{
    FindContext context{processId, className, owner, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

// One run of clipvoce.exe. A run that a test leaves behind is ended by its handle.
class Program {
public:
    explicit Program(const std::wstring& path)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + path + L"\"";
        if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return;
        PumpUntil([&] { return (window = FindProcessWindow(process.dwProcessId, L"Clipvoce")) != nullptr; },
                  Patience);
        // Keys pressed before start-up has reached its message loop could meet a window
        // that start-up is still hiding, restyling and showing.
        WaitForInputIdle(process.hProcess, Patience);
    }

    bool ShownAndReady() const
    {
        return PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, Patience);
    }

    ~Program()
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 1);
                WaitForSingleObject(process.hProcess, Patience);
            }
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    bool Ended(DWORD timeoutMs = Patience) const
    {
        return process.hProcess && WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }

    // The first start shows the About box by itself; answer it so keys reach the window.
    bool DismissFirstRunBox() const
    {
        HWND box = nullptr;
        if (!PumpUntil([&] { return (box = FindProcessWindow(process.dwProcessId, L"#32770", window)) != nullptr; },
                       Patience))
            return false;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return PumpUntil([&] { return !IsWindow(box); }, Patience);
    }

    // Keys go to the window the user has in front, so it is brought there first.
    bool Press(std::initializer_list<WORD> keys) const
    {
        SetForegroundWindow(window);
        if (!PumpUntil([&] { return GetForegroundWindow() == window; }, Patience))
            return false;
        std::vector<INPUT> inputs;
        for (WORD key : keys) {
            INPUT down{};
            down.type = INPUT_KEYBOARD;
            down.ki.wVk = key;
            inputs.push_back(down);
        }
        for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
            INPUT up{};
            up.type = INPUT_KEYBOARD;
            up.ki.wVk = *key;
            up.ki.dwFlags = KEYEVENTF_KEYUP;
            inputs.push_back(up);
        }
        return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
    }

    LONG Style() const { return GetWindowLongW(window, GWL_STYLE); }

    PROCESS_INFORMATION process{};
    HWND window = nullptr;
};

class SettingsEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        previousSettings = ReadBytes(SettingsFile());
        previousRunValue = RunValue();
        CreateDirectoryW(SettingsFolder().c_str(), nullptr);
        DeleteFileW(RejectedFile().c_str());
    }

    // Whatever this prefix held before is put back, for the tests that follow.
    void TearDown() override
    {
        DeleteFileW(RejectedFile().c_str());
        if (previousSettings == "<missing>")
            DeleteFileW(SettingsFile().c_str());
        else
            WriteBytes(SettingsFile(), previousSettings);
        DeleteRunValue();
        if (previousRunValue != L"<none>") {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegSetValueExW(key, RunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(previousRunValue.c_str()),
                               static_cast<DWORD>((previousRunValue.size() + 1) * sizeof(wchar_t)));
                RegCloseKey(key);
            }
        }
    }

    std::string previousSettings;
    std::wstring previousRunValue;
};

bool Holds(const std::string& file, const std::string& line)
{
    return file.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST_F(SettingsEndToEnd, ChangesMadeWhileRunningAreThereAfterRestart)
{
    const std::wstring exe = BinFolder() + L"\\clipvoce.exe";
    WriteBytes(SettingsFile(), SettingsText(false));
    {
        Program program(exe);
        ASSERT_NE(program.window, nullptr);
        ASSERT_TRUE(program.ShownAndReady());
        ASSERT_TRUE(program.Style() & WS_CAPTION);
        ASSERT_TRUE(program.Press({'B'}));
        ASSERT_TRUE(PumpUntil([&] { return !(program.Style() & WS_CAPTION); }, Patience));
        ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
        ASSERT_TRUE(program.Ended());
    }
    std::string file = ReadBytes(SettingsFile());
    EXPECT_TRUE(Holds(file, "border=0")) << file;
    // Saved without its frame, the window is stored at the height it has with one.
    EXPECT_TRUE(Holds(file, "height=150")) << file;

    {
        Program program(exe);
        ASSERT_NE(program.window, nullptr);
        ASSERT_TRUE(program.ShownAndReady());
        EXPECT_FALSE(program.Style() & WS_CAPTION);
        ASSERT_TRUE(program.Press({'W'}));
        ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(program.window); }, Patience));
        // Hidden, the window no longer takes keys; closing it ends the program the same way.
        PostMessageW(program.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(program.Ended());
    }
    file = ReadBytes(SettingsFile());
    EXPECT_TRUE(Holds(file, "window=0")) << file;

    // Started hidden: a W handled by the running program shows the window only if it was
    // hidden by the setting (and not merely not yet shown).
    Program program(exe);
    ASSERT_NE(program.window, nullptr);
    PostMessageW(program.window, WM_KEYDOWN, 'W', 1);
    PostMessageW(program.window, WM_KEYUP, 'W', 0xC0000001);
    ASSERT_TRUE(program.ShownAndReady());
    ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
    ASSERT_TRUE(program.Ended());
    file = ReadBytes(SettingsFile());
    EXPECT_TRUE(Holds(file, "window=1")) << file;
}

TEST_F(SettingsEndToEnd, RejectedFileIsKeptBesideTheFreshOne)
{
    // An editor indented a line with a tab: the program cannot read past it.
    const std::string edited = "[window]\r\nx=100\r\n\twidth=640\r\n[settings]\r\nrate=5\r\n";
    WriteBytes(SettingsFile(), edited);
    Program program(BinFolder() + L"\\clipvoce.exe");
    ASSERT_NE(program.window, nullptr);
    // The files are in place before the window is created.
    EXPECT_EQ(ReadBytes(RejectedFile()), edited);
    const std::string fresh = ReadBytes(SettingsFile());
    EXPECT_TRUE(Holds(fresh, "width=300")) << fresh;
    EXPECT_TRUE(Holds(fresh, "rate=-1")) << fresh;
    ASSERT_TRUE(program.DismissFirstRunBox());
    ASSERT_TRUE(program.ShownAndReady());
    ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
    EXPECT_TRUE(program.Ended());
}

// A copy of the program in a folder whose name has a blank, removed again afterwards.
struct CopiedProgram {
    CopiedProgram()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"Clip voce copy";
        CreateDirectoryW(folder.c_str(), nullptr);
        path = folder + L"\\clipvoce.exe";
        copied = CopyFileW((BinFolder() + L"\\clipvoce.exe").c_str(), path.c_str(), FALSE);
    }
    ~CopiedProgram()
    {
        DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring folder, path;
    bool copied = false;
};

TEST_F(SettingsEndToEnd, RunEntryFollowsStartSetting)
{
    const std::wstring exe = BinFolder() + L"\\clipvoce.exe";
    ASSERT_EQ(exe.find(L' '), std::wstring::npos);
    WriteBytes(SettingsFile(), SettingsText(true));
    {
        Program program(exe);
        ASSERT_NE(program.window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return RunValue() == exe; }, Patience));
        ASSERT_TRUE(program.ShownAndReady());
        ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
        ASSERT_TRUE(program.Ended());
    }

    // At logon an unquoted path with a blank could start some other program.
    CopiedProgram copy;
    ASSERT_TRUE(copy.copied);
    {
        Program program(copy.path);
        ASSERT_NE(program.window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return RunValue() == L"\"" + copy.path + L"\""; }, Patience));
        ASSERT_TRUE(program.ShownAndReady());
        ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
        ASSERT_TRUE(program.Ended());
    }

    WriteBytes(SettingsFile(), SettingsText(false));
    Program program(exe);
    ASSERT_NE(program.window, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return RunValue() == L"<none>"; }, Patience));
    ASSERT_TRUE(program.ShownAndReady());
    ASSERT_TRUE(program.Press({VK_CONTROL, 'Q'}));
    EXPECT_TRUE(program.Ended());
}

} // namespace
