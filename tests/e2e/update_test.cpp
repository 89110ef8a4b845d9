// The update check of a copy of the program, against the test run's TLS update server:
// only a verified program replaces the running one, and nothing freezes meanwhile.
#include <gtest/gtest.h>
#include <windows.h>
#include <bcrypt.h>
#include <algorithm>
#include <functional>
#include <cstdio>
#include "app_driver.h"
#include "file_bytes.h"
#include "update_server.h"
#include "resource.h"

namespace {

const wchar_t NoUpdate[] = L"There is no update available.";
const wchar_t DownloadFailed[] = L"Download failed.";
const wchar_t Updated[] = L"Your version has been successfully updated. Restart needed.";
const std::wstring Unreachable = L"The update server could not be reached: ";

std::string Sha256(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return "(no hash)";
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0);
    BCryptFinishHash(hash, digest, sizeof digest, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    char text[65];
    for (int i = 0; i < 32; ++i)
        snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class UpdateTest : public testing::Test {
public:   // the case table's steps reach the fixture through a reference
    void SetUp() override
    {
        ASSERT_TRUE(server_.Ready()) << "the test run's update server is not up or its root is not trusted";
        WriteSettingsFile();
        EmptyTheClipboard();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"clipvoce-update-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        program_ = folder_ + L"\\clipvoce.exe";
        Install(ReadBytes(ProgramPath()));
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
        for (const std::wstring& name : FilesLeft())
            DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // Puts a fresh copy in the test folder as the installed program, with no backup.
    void Install(const std::string& bytes)
    {
        for (const std::wstring& name : FilesLeft())
            DeleteFileW((folder_ + L"\\" + name).c_str());
        original_ = bytes;
        ASSERT_TRUE(WriteBytes(program_, original_));
    }

    std::vector<std::wstring> FilesLeft() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string FilesLeftText() const
    {
        std::string text;
        for (const std::wstring& name : FilesLeft()) {
            if (!text.empty())
                text += ' ';
            text += Narrow(name);
        }
        return text;
    }

    // Opens About in the running copy and presses "Check for updates"; the About dialog.
    static HWND StartCheck(DWORD processId, HWND window)
    {
        PostMessageW(window, WM_COMMAND, CMD_ABOUT, 0);
        HWND about = WaitForProcessWindow(processId, L"#32770", L"About", 10000);
        if (about)
            PostMessageW(about, WM_COMMAND, IDC_ABOUT_CHECK_UPDATES, 0);
        return about;
    }

    // Runs a check and returns the message box that answers it.
    static HWND CheckForUpdates(DWORD processId, HWND window)
    {
        if (!StartCheck(processId, window))
            return nullptr;
        return WaitForProcessWindow(processId, L"#32770", L"Warning", 60000);
    }
    HWND CheckForUpdates(AppProcess& app) { return CheckForUpdates(app.Id(), app.Window()); }

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
    // A test program with the update signature of its own, another one, or, with "", none.
    void OfferProgram(const std::string& version, const std::string& fixture, const std::string& signature)
    {
        const std::string bytes = ReadBytes(TestUpdateServer::ProgramFile(fixture));
        Offer(version, std::to_string(bytes.size()), bytes);
        if (!signature.empty())
            server_.Serve("Clipvoce.sig", ReadBytes(TestUpdateServer::ProgramFile(signature)));
    }
    void OfferProgram(const std::string& version, const std::string& fixture)
    {
        OfferProgram(version, fixture, fixture + ".sig");
    }

    // Waits for the restarted copy that the given one handed over to.
    HWND WaitForRestartedCopy(DWORD previousId)
    {
        HWND restarted = nullptr;
        PumpUntil([&] {
            restarted = FindWindowW(L"Clipvoce", nullptr);
            DWORD id = 0;
            if (restarted)
                GetWindowThreadProcessId(restarted, &id);
            return restarted && id != previousId;
        }, 20000);
        if (restarted) {
            DWORD id = 0;
            GetWindowThreadProcessId(restarted, &id);
            others_.push_back(id);
        }
        return restarted;
    }

    TestUpdateServer server_;
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
    // The older backup no longer stops a check: the offer is fetched, and refused.
    EXPECT_EQ(server_.Requests("Clipvoce.exe_get.php"), 1);
    EXPECT_EQ(ReadBytes(program_), original_);
    EXPECT_EQ(ReadBytes(program_ + L".bak"), older);
    EXPECT_TRUE(app.Running());
}

TEST_F(UpdateTest, NewVersionReplacesTheProgramAndRestarts)
{
    // Bytes past the image do not stop it from starting; the signature covers them too.
    const std::string offered = ReadBytes(TestUpdateServer::ProgramFile("v9_tail.exe"));
    OfferProgram("9.9.9.9\r\n", "v9_tail.exe");
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
    HWND restarted = WaitForRestartedCopy(app.Id());
    ASSERT_NE(restarted, nullptr) << "no copy started from the new executable";
}

// A signed program refuses everything but a whole program of a newer version, the one
// offered, for its own machine, carrying the project's update signature and signed with
// its own certificate; whatever is refused leaves the program exactly as it was and
// nothing beside it.
TEST_F(UpdateTest, OnlyAVerifiedProgramIsInstalled)
{
    const std::string page(3000, 'x');
    const struct {
        const char* name;
        std::function<void(UpdateTest&)> serve;
        std::wstring answer;
    } cases[] = {
        {"no update", [](UpdateTest& t) { t.OfferProgram("0.0.2.3", "v9.exe"); }, NoUpdate},
        {"older version, signed", [](UpdateTest& t) { t.OfferProgram("0.0.1.0", "v1.exe"); }, NoUpdate},
        {"version file is a 404 page",
         [](UpdateTest& t) {
             t.OfferProgram("9.9.9.9", "v9.exe");
             t.server_.SetStatus("Clipvoce.ver", 404);
         },
         Unreachable + L"it answered with status 404"},
        {"size file is a server error",
         [](UpdateTest& t) {
             t.OfferProgram("9.9.9.9", "v9.exe");
             t.server_.SetStatus("Clipvoce.dat", 500);
         },
         Unreachable + L"it answered with status 500"},
        {"right size, not a program",
         [&](UpdateTest& t) { t.Offer("9.9.9.9", "3000", "<!DOCTYPE HTML>" + page.substr(15)); }, DownloadFailed},
        {"another version inside", [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v8.exe"); }, DownloadFailed},
        {"another machine type", [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9_arm64.exe"); }, DownloadFailed},
        {"another signer", [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9_other_signer.exe"); }, DownloadFailed},
        {"unsigned", [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9_unsigned.exe"); }, DownloadFailed},
        {"signature: none", [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9.exe", ""); }, DownloadFailed},
        {"signature: another key",
         [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9.exe", "v9.exe.other_key.sig"); }, DownloadFailed},
        {"signature: other bytes",
         [](UpdateTest& t) { t.OfferProgram("9.9.9.9", "v9.exe", "v10.exe.sig"); }, DownloadFailed},
        {"truncated",
         [](UpdateTest& t) {
             t.OfferProgram("9.9.9.9", "v9.exe");
             t.server_.SetMode("Clipvoce.exe_get.php", "truncated");
         },
         DownloadFailed},
        {"endless body",
         [](UpdateTest& t) {
             t.OfferProgram("9.9.9.9", "v9.exe");
             t.server_.SetMode("Clipvoce.exe_get.php", "endless");
         },
         DownloadFailed},
        {"program is a 404 page",
         [](UpdateTest& t) {
             t.OfferProgram("9.9.9.9", "v9.exe");
             t.server_.SetStatus("Clipvoce.exe_get.php", 404);
         },
         DownloadFailed},
    };
    const std::string installed = ReadBytes(TestUpdateServer::ProgramFile("installed.exe"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestUpdateServer fresh;   // nothing served from the case before
        Install(installed);
        c.serve(*this);
        AppProcess app(L"", program_);
        const ULONGLONG started = GetTickCount64();
        EXPECT_EQ(CheckAnswer(app), c.answer);
        if (c.answer == NoUpdate || c.answer.starts_with(Unreachable)) {
            EXPECT_EQ(server_.Requests("Clipvoce.exe_get.php"), 0) << "no update is downloaded";
        }
        const std::string after = ReadBytes(program_);
        printf("  %-28s %5llu ms  before %.16s  after %.16s  left: %s\n", c.name, GetTickCount64() - started,
               Sha256(installed).c_str(), Sha256(after).c_str(), FilesLeftText().c_str());
        EXPECT_EQ(Sha256(after), Sha256(installed));
        EXPECT_EQ(FilesLeftText(), "clipvoce.exe");
        EXPECT_TRUE(app.Running());
    }
}

// Offline is not "up to date": a refused connection is told as such, with the system's
// reason, and the program stays as it was.
TEST_F(UpdateTest, RefusedConnectionIsNotNoUpdate)
{
    SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", L"127.0.0.1:1");
    AppProcess app(L"", program_);
    const std::wstring answer = CheckAnswer(app);
    EXPECT_TRUE(answer.starts_with(Unreachable) && answer.size() > Unreachable.size() + 3)
        << "not a refused connection with its reason: " << testing::PrintToString(answer);
    EXPECT_EQ(ReadBytes(program_), original_);
    EXPECT_TRUE(app.Running());
}

TEST_F(UpdateTest, SignedUpdatesFollowEachOther)
{
    const std::string installed = ReadBytes(TestUpdateServer::ProgramFile("installed.exe"));
    const std::string v9 = ReadBytes(TestUpdateServer::ProgramFile("v9.exe"));
    const std::string v10 = ReadBytes(TestUpdateServer::ProgramFile("v10.exe"));
    Install(installed);
    OfferProgram("9.9.9.9", "v9.exe");
    AppProcess app(L"", program_);
    ASSERT_NE(app.Window(), nullptr) << "the signed copy did not start";
    HWND box = CheckForUpdates(app);
    ASSERT_NE(box, nullptr) << "the first check gave no answer";
    EXPECT_EQ(MessageBoxText(box), Updated);
    PressDialogButton(box, IDOK);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(Sha256(ReadBytes(program_)), Sha256(v9));
    EXPECT_EQ(Sha256(ReadBytes(program_ + L".bak")), Sha256(installed));

    HWND restarted = WaitForRestartedCopy(app.Id());
    ASSERT_NE(restarted, nullptr) << "no copy started from the first update";
    DWORD restartedId = 0;
    GetWindowThreadProcessId(restarted, &restartedId);
    OfferProgram("9.9.9.10", "v10.exe");
    box = CheckForUpdates(restartedId, restarted);
    ASSERT_NE(box, nullptr) << "the second check gave no answer";
    EXPECT_EQ(MessageBoxText(box), Updated) << "a second update works too";
    PressDialogButton(box, IDOK);
    ASSERT_NE(WaitForRestartedCopy(restartedId), nullptr) << "no copy started from the second update";
    EXPECT_EQ(Sha256(ReadBytes(program_)), Sha256(v10));
    EXPECT_EQ(Sha256(ReadBytes(program_ + L".bak")), Sha256(v9)) << "exactly one previous version is kept";
    EXPECT_EQ(FilesLeftText(), "clipvoce.exe clipvoce.exe.bak");
}

TEST_F(UpdateTest, SilentServerNeitherFreezesNorHoldsTheCheck)
{
    OfferProgram("9.9.9.9", "v9.exe");
    server_.SetSilent(true);
    AppProcess app(L"", program_);
    ASSERT_NE(app.Window(), nullptr);
    const ULONGLONG started = GetTickCount64();
    HWND about = StartCheck(app.Id(), app.Window());
    ASSERT_NE(about, nullptr) << "About did not open";
    HWND check = GetDlgItem(about, IDC_ABOUT_CHECK_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowEnabled(check); }, 10000))
        << "Check for updates was not disabled while the check runs";
    EXPECT_EQ(WindowText(GetDlgItem(about, IDC_ABOUT_UPDATE_STATUS)), L"Checking for updates...");

    // The Speech window still takes copied text while the server keeps silent.
    DWORD_PTR ignored = 0;
    EXPECT_NE(SendMessageTimeoutW(app.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0)
        << "the Speech window did not answer during the check";
    ASSERT_TRUE(SetClipboardText(L"Still reading."));
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(app.Window()).find(L"Still reading.") == 0; }, 10000))
        << "the copied text did not reach the Speech window during the check";

    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 60000);
    ASSERT_NE(box, nullptr) << "the check did not end against a silent server";
    const ULONGLONG took = GetTickCount64() - started;
    printf("  silent server: the check ended after %llu ms\n", took);
    EXPECT_EQ(MessageBoxText(box).substr(0, Unreachable.size()), Unreachable) << "silence is not \"no update\"";
    EXPECT_LT(took, 40000u);
    EXPECT_EQ(FilesLeftText(), "clipvoce.exe");
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(check) != FALSE; }, 10000))
        << "Check for updates stayed disabled after the check";
}

TEST_F(UpdateTest, CancelledDownloadLeavesNothingBehind)
{
    OfferProgram("9.9.9.9", "v9_unsigned.exe");
    server_.SetMode("Clipvoce.exe_get.php", "slow");
    AppProcess app(L"", program_);
    ASSERT_NE(app.Window(), nullptr);
    HWND about = StartCheck(app.Id(), app.Window());
    ASSERT_NE(about, nullptr) << "About did not open";
    HWND status = GetDlgItem(about, IDC_ABOUT_UPDATE_STATUS);
    ASSERT_TRUE(PumpUntil([&] { return WindowText(status).find(L"Downloading the update:") == 0; }, 30000))
        << "the download's progress was never shown";
    PostMessageW(about, WM_COMMAND, IDC_ABOUT_CANCEL_UPDATE, 0);
    HWND check = GetDlgItem(about, IDC_ABOUT_CHECK_UPDATES);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(check) != FALSE && WindowText(status).empty(); }, 10000))
        << "the dialog did not return to its idle state after Cancel";
    EXPECT_TRUE(PumpUntil([&] { return FilesLeftText() == "clipvoce.exe"; }, 20000))
        << "the partial download was left: " << FilesLeftText();
    EXPECT_EQ(Sha256(ReadBytes(program_)), Sha256(original_));
    EXPECT_TRUE(app.Running());
}

} // namespace
