// The update check of a copy of the program, against a loopback update server: the
// offered executable replaces the running one and the program restarts into it.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "file_bytes.h"
#include "http_server.h"
#include "resource.h"

namespace {

class UpdateTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteSettingsFile();
        EmptyTheClipboard();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"clipvoce-update-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        program_ = folder_ + L"\\clipvoce.exe";
        DeleteFileW((program_ + L".bak").c_str());
        original_ = ReadBytes(ProgramPath());
        ASSERT_TRUE(WriteBytes(program_, original_));
        SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", server_.Address().c_str());
    }
    void TearDown() override
    {
        for (DWORD id : others_)
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", nullptr);
        DeleteFileW(program_.c_str());
        DeleteFileW((program_ + L".bak").c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // Opens About in the running copy and presses "Check for updates"; returns the
    // message box that answers.
    HWND CheckForUpdates(AppProcess& app)
    {
        PostMessageW(app.Window(), WM_COMMAND, CMD_ABOUT, 0);
        HWND about = WaitForProcessWindow(app.Id(), L"#32770", L"About", 10000);
        if (!about)
            return nullptr;
        PostMessageW(about, WM_COMMAND, IDC_ABOUT_CHECK_UPDATES, 0);
        return WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 20000);
    }

    // The text of the box that answers the check, or a note of what went wrong.
    std::wstring CheckAnswer(AppProcess& app)
    {
        if (!app.Window())
            return L"(the program did not start)";
        HWND box = CheckForUpdates(app);
        return box ? MessageBoxText(box) : L"(no answer)";
    }

    void Offer(const std::string& version, const std::string& size, const std::string& executable)
    {
        server_.Serve("Clipvoce.ver", version);
        server_.Serve("Clipvoce.dat", size);
        server_.Serve("Clipvoce.exe_get.php", executable);
    }

    LoopbackHttpServer server_;
    std::wstring folder_, program_;
    std::string original_;
    std::vector<DWORD> others_;
};

TEST_F(UpdateTest, SameVersionIsNoUpdate)
{
    Offer("0.0.2.3", std::to_string(original_.size()), original_);
    AppProcess app(L"", program_);
    EXPECT_EQ(CheckAnswer(app), L"There is no update available.");
    EXPECT_EQ(server_.Requests("Clipvoce.exe_get.php"), 0);
    EXPECT_FALSE(FileExists(program_ + L".bak"));
}

TEST_F(UpdateTest, ShortDownloadKeepsTheProgramInPlace)
{
    Offer("9.9.9.9", std::to_string(original_.size() + 1), original_);
    AppProcess app(L"", program_);
    EXPECT_EQ(CheckAnswer(app), L"Download failed.");
    EXPECT_EQ(server_.Requests("Clipvoce.exe_get.php"), 1);
    EXPECT_EQ(ReadBytes(program_), original_) << "the working executable is back at its path";
    EXPECT_TRUE(app.Running());
}

TEST_F(UpdateTest, OlderBackupInTheWayLeavesBothFilesAlone)
{
    const std::string older = "an older copy";
    ASSERT_TRUE(WriteBytes(program_ + L".bak", older));
    Offer("9.9.9.9", "5", "short");
    AppProcess app(L"", program_);
    EXPECT_EQ(CheckAnswer(app), L"Download failed.");
    EXPECT_EQ(server_.Requests("Clipvoce.exe_get.php"), 0);
    EXPECT_EQ(ReadBytes(program_), original_);
    EXPECT_EQ(ReadBytes(program_ + L".bak"), older);
    EXPECT_TRUE(app.Running());
}

TEST_F(UpdateTest, NewVersionReplacesTheProgramAndRestarts)
{
    std::string offered = original_;
    offered += "new";   // bytes past the image do not stop it from starting
    Offer("9.9.9.9\r\n", std::to_string(offered.size()), offered);
    AppProcess app(L"", program_);
    ASSERT_NE(app.Window(), nullptr);
    HWND box = CheckForUpdates(app);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Your version has been successfully updated. Restart needed.");
    PressDialogButton(box, IDOK);
    EXPECT_EQ(app.WaitExit(), 0);

    EXPECT_EQ(ReadBytes(program_ + L".bak"), original_);
    EXPECT_EQ(ReadBytes(program_), offered);
    // The restarted copy comes up from the new executable.
    HWND restarted = nullptr;
    PumpUntil([&] { return (restarted = FindWindowW(L"Clipvoce", nullptr)) != nullptr; }, 20000);
    ASSERT_NE(restarted, nullptr);
    DWORD id = 0;
    GetWindowThreadProcessId(restarted, &id);
    others_.push_back(id);
    EXPECT_NE(id, app.Id());
}

} // namespace
