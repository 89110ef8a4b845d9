#include "clipboard/selection_grab.h"
#include "clipboard/secret_copy.h"
#include "platform/log.h"
#include "res/resource.h"
#include <utility>
#include <vector>

namespace {

constexpr UINT PollMs = 20;
// A program that copies later than SELECTION_COPY_TIMEOUT_MS is not read, but its copy
// still replaces the clipboard: what it held is put back when the copy comes this long
// after the keys.
constexpr ULONGLONG LateCopyWatchMs = 5000;
// Clipboard managers and the platform's bridge to other clipboards hold the clipboard
// for a moment after each change.
constexpr ULONGLONG PutBackPatienceMs = 5000;
// A clipboard still held open when the put-back is given up: the content it holds when it
// is closed is the copy's doing.
constexpr ULONGLONG AwaitCloseMs = 30000;
constexpr FetchLimits RememberLimits{3000, 2000, 6000};
constexpr FetchLimits CopyLimits{3000, 2000, 6000};
constexpr int RememberAttempts = 3;
// How long the keys of the hot key may still be held before the copy is sent all the same,
// and how long a program brought back to the front may take to have the keyboard again.
constexpr ULONGLONG ReleaseWaitMs = 1000;
constexpr ULONGLONG RefocusMs = 2000;

using Stage = SelectionGrabStage;

ULONGLONG Since(ULONGLONG start)
{
    return GetTickCount64() - start;
}

DWORD ProcessOf(HWND window)
{
    DWORD process = 0;
    if (window)
        GetWindowThreadProcessId(window, &process);
    return process;
}

void AddKey(std::vector<INPUT>& inputs, WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (key == VK_RMENU || key == VK_RCONTROL)
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    inputs.push_back(input);
}

bool IsDown(int key)
{
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

bool ModifiersHeld()
{
    for (const int key : {VK_CONTROL, VK_MENU, VK_SHIFT, VK_LWIN, VK_RWIN}) {
        if (IsDown(key))
            return true;
    }
    return false;
}

// The user may still hold the hot key's Alt or Shift, which would turn the copy into
// another command. Ctrl goes down before they are let go: an Alt let go right after
// itself would open the program's menu bar instead.
bool SendCopyKeys()
{
    std::vector<INPUT> inputs;
    AddKey(inputs, VK_CONTROL, false);
    for (WORD held : {VK_LSHIFT, VK_RSHIFT, VK_LMENU, VK_RMENU}) {
        if (IsDown(held))
            AddKey(inputs, held, true);
    }
    AddKey(inputs, 'C', false);
    AddKey(inputs, 'C', true);
    AddKey(inputs, VK_CONTROL, true);
    if (IsDown(VK_RCONTROL))
        AddKey(inputs, VK_RCONTROL, true);
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

void Finish(SelectionGrabRun& grab)
{
    if (grab.owner)
        KillTimer(grab.owner, IDT_SELECTION_GRAB);
    grab = SelectionGrabRun{};
}

void TellSelection(const SelectionGrabRun& grab, SelectionGrabOutcome outcome, std::wstring text = {})
{
    if (const auto tell = grab.listener.selectionRead)
        tell({outcome, std::move(text)});
}

void TellPutBack(const SelectionGrabRun& grab, const ClipboardPutBack& putBack)
{
    if (const auto tell = grab.listener.clipboardPutBack)
        tell(putBack);
}

bool ClipboardChangedSinceKeys(const SelectionGrabRun& grab)
{
    return GetClipboardSequenceNumber() != grab.sequenceBeforeKeys;
}

void Remember(SelectionGrabRun& grab)
{
    grab.stage = Stage::Remembering;
    grab.ticket = StartClipboardFetch(grab.owner, FetchScope::Everything, RememberLimits);
}

// Tried at once and then at every tick: the window goes on answering meanwhile.
void TryPutBack(SelectionGrabber& grabber)
{
    SelectionGrabRun& grab = grabber.run;
    ClipboardPutBack putBack;
    putBack.formatsNotKept = grab.remembered->NotKept().size();
    putBack.placed = OpenClipboard(grab.owner) != FALSE;
    if (putBack.placed) {
        putBack.placed = grab.remembered->PutBackIntoOpenClipboard();
        CloseClipboard();
    } else if (Since(grab.putBackSince) < PutBackPatienceMs) {
        return;
    }
    // What the user had copied stays within reach when it could not be given back.
    if (!putBack.placed && !IsSecretCopy(*grab.remembered)) {
        if (const std::optional<std::wstring> text = grab.remembered->Text(); text && !text->empty()) {
            grabber.unreturnedText = *text;
            putBack.textAwaitsPaste = true;
        }
    }
    TellPutBack(grab, putBack);
    // Whatever the clipboard holds now is the grab's doing, and so is what a program
    // still holding it open leaves in it.
    grabber.putBackSequence = GetClipboardSequenceNumber();
    if (GetOpenClipboardWindow()) {
        grab.stage = Stage::AwaitingClose;
        grab.putBackSince = GetTickCount64();
        return;
    }
    Finish(grab);
}

void StartPutBack(SelectionGrabber& grabber)
{
    grabber.run.stage = Stage::PuttingBack;
    grabber.run.putBackSince = GetTickCount64();
    TryPutBack(grabber);
}

void ReadCopy(SelectionGrabRun& grab)
{
    grab.stage = Stage::ReadingCopy;
    grab.ticket = StartClipboardFetch(grab.owner, FetchScope::TextUnlessSecret, CopyLimits);
}

// A change after the wait: from the program the keys went to (or from no program that
// says so), it is the selection's late copy, and the clipboard is put back; from any
// other, it is a copy of the user's, which stays.
bool NoticeLateChange(SelectionGrabber& grabber)
{
    SelectionGrabRun& grab = grabber.run;
    const DWORD changer = ProcessOf(GetClipboardOwner());
    if (changer != 0 && changer != grab.frontProcess && changer != GetCurrentProcessId()) {
        Finish(grab);
        return false;
    }
    StartPutBack(grabber);
    return true;
}

// Keys that could not be sent copy nothing, which is what the user then hears of.
void SendKeys(SelectionGrabRun& grab)
{
    // Copied over while the program came back to the front: remembered again.
    if (ClipboardChangedSinceKeys(grab)) {
        if (++grab.rememberAttempts < RememberAttempts) {
            Remember(grab);
        } else {
            TellSelection(grab, SelectionGrabOutcome::ClipboardBusy);
            Finish(grab);
        }
        return;
    }
    const HWND front = GetForegroundWindow();
    if (ProcessOf(front) == GetCurrentProcessId() || !SendCopyKeys()) {
        LogLine(ProcessOf(front) == GetCurrentProcessId() ? L"Read selection: this program was in front"
                                                          : L"Read selection: the copy keys could not be sent");
        TellSelection(grab, SelectionGrabOutcome::NothingSelected);
        Finish(grab);
        return;
    }
    grab.frontProcess = ProcessOf(front);
    grab.keysSentAt = GetTickCount64();
    grab.stage = Stage::WaitingForCopy;
}

bool HasKeyboardFocus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetForegroundWindow() == window && GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndFocus != nullptr;
}

// Sent once the user has let go of the hot key: the copy's keys must not mix with the
// hot key's own, which would turn Ctrl+C into something else. The program the hot key was
// pressed in may have lost the front meanwhile (Wine leaves no window in front after some
// Ctrl+Alt combinations, and remembering may take seconds): it is brought back, rather
// than the keys sent to no program or to this one.
void SendKeysToTarget(SelectionGrabRun& grab)
{
    const HWND front = GetForegroundWindow();
    const bool lost = !front || front == GetDesktopWindow() || ProcessOf(front) == GetCurrentProcessId();
    if (front != grab.target && lost && IsWindow(grab.target) && grab.target != GetDesktopWindow()) {
        SetForegroundWindow(grab.target);
        grab.stage = Stage::Refocusing;
        grab.stageSince = GetTickCount64();
        return;
    }
    SendKeys(grab);
}

void Tick(SelectionGrabber& grabber)
{
    SelectionGrabRun& grab = grabber.run;
    switch (grab.stage) {
    case Stage::AwaitingRelease:
        if (!ModifiersHeld() || Since(grab.stageSince) >= ReleaseWaitMs)
            SendKeysToTarget(grab);
        break;
    case Stage::Refocusing:
        if (HasKeyboardFocus(grab.target) || Since(grab.stageSince) >= RefocusMs)
            SendKeys(grab);
        break;
    case Stage::WaitingForCopy:
        if (ClipboardChangedSinceKeys(grab)) {
            ReadCopy(grab);
        } else if (Since(grab.keysSentAt) >= SELECTION_COPY_TIMEOUT_MS) {
            LogLine(L"Read selection: no copy came in time" +
                    std::wstring(HasKeyboardFocus(grab.target) ? L"" : L" (the program in front had no keyboard focus)"));
            grab.stage = Stage::WatchingForLateCopy;
            TellSelection(grab, SelectionGrabOutcome::NothingSelected);
        }
        break;
    case Stage::WatchingForLateCopy:
        if (ClipboardChangedSinceKeys(grab))
            NoticeLateChange(grabber);
        else if (Since(grab.keysSentAt) >= LateCopyWatchMs)
            Finish(grab);
        break;
    case Stage::PuttingBack:
        TryPutBack(grabber);
        break;
    case Stage::AwaitingClose:
        if (!GetOpenClipboardWindow() || Since(grab.putBackSince) >= AwaitCloseMs) {
            grabber.putBackSequence = GetClipboardSequenceNumber();
            Finish(grab);
        }
        break;
    default:
        break;
    }
}

void OnRemembered(SelectionGrabber& grabber, ClipboardFetch& fetch)
{
    SelectionGrabRun& grab = grabber.run;
    // Copied over meanwhile: what was remembered is no longer what the clipboard holds.
    const bool changed = fetch.outcome == FetchOutcome::Fetched && fetch.sequence != GetClipboardSequenceNumber();
    if (changed && ++grab.rememberAttempts < RememberAttempts) {
        Remember(grab);
        return;
    }
    if (fetch.outcome != FetchOutcome::Fetched || changed) {
        TellSelection(grab, SelectionGrabOutcome::ClipboardBusy);
        Finish(grab);
        return;
    }
    grab.remembered = std::make_unique<ClipboardSnapshot>(std::move(fetch.content));
    grab.sequenceBeforeKeys = fetch.sequence;
    grab.stage = Stage::AwaitingRelease;
    grab.stageSince = GetTickCount64();
    SetTimer(grab.owner, IDT_SELECTION_GRAB, PollMs, nullptr);
    Tick(grabber);
}

// The selection's copy is read with the same care as any copy; the clipboard is put
// back whatever came of it.
void OnCopyRead(SelectionGrabber& grabber, ClipboardFetch& fetch)
{
    SelectionGrab read;
    if (fetch.outcome != FetchOutcome::Fetched)
        read.outcome = SelectionGrabOutcome::ClipboardBusy;
    else if (IsSecretCopy(fetch.content))
        read.outcome = SelectionGrabOutcome::Secret;
    else if (std::optional<std::wstring> text = fetch.content.Text(); text && !text->empty())
        read = {SelectionGrabOutcome::Taken, std::move(*text)};
    else
        read.outcome = SelectionGrabOutcome::NoText;
    grabber.run.stage = Stage::PuttingBack;
    TellSelection(grabber.run, read.outcome, std::move(read.text));
    StartPutBack(grabber);
}

} // namespace

bool StartSelectionGrab(SelectionGrabber& grabber, HWND owner, SelectionGrabListener listener)
{
    SelectionGrabRun& grab = grabber.run;
    // The last one has done its part: the clipboard still holds what it remembered, or
    // is held open by another program.
    if (grab.stage == Stage::WatchingForLateCopy || grab.stage == Stage::AwaitingClose)
        Finish(grab);
    if (grab.stage != Stage::Idle)
        return false;
    grab.owner = owner;
    grab.listener = std::move(listener);
    // The program's own windows would take the Ctrl+C, and the Speech window would then
    // copy its whole text over what the user had copied.
    grab.target = GetForegroundWindow();
    if (ProcessOf(grab.target) == GetCurrentProcessId()) {
        TellSelection(grab, SelectionGrabOutcome::NothingSelected);
        Finish(grab);
        return false;
    }
    Remember(grab);
    return true;
}

bool OnSelectionGrabFetched(SelectionGrabber& grabber, WPARAM ticket, std::unique_ptr<ClipboardFetch>& fetch)
{
    SelectionGrabRun& grab = grabber.run;
    if (grab.stage == Stage::Idle || ticket != grab.ticket)
        return false;
    grab.ticket = 0;
    if (grab.stage == Stage::Remembering)
        OnRemembered(grabber, *fetch);
    else if (grab.stage == Stage::ReadingCopy)
        OnCopyRead(grabber, *fetch);
    return true;
}

bool ClaimedBySelectionGrab(SelectionGrabber& grabber)
{
    SelectionGrabRun& grab = grabber.run;
    switch (grab.stage) {
    case Stage::Idle:
    case Stage::Remembering:
    case Stage::AwaitingRelease:
    case Stage::Refocusing:
        break;
    case Stage::WaitingForCopy:
        if (ClipboardChangedSinceKeys(grab))
            ReadCopy(grab);
        return true;
    case Stage::WatchingForLateCopy:
        return ClipboardChangedSinceKeys(grab) && NoticeLateChange(grabber);
    default:
        return true;
    }
    return grabber.putBackSequence != 0 && GetClipboardSequenceNumber() == grabber.putBackSequence;
}

void ForgetSelectionGrabPutBack(SelectionGrabber& grabber)
{
    grabber.putBackSequence = 0;
}

std::wstring TakeUnreturnedText(SelectionGrabber& grabber)
{
    return std::exchange(grabber.unreturnedText, std::wstring());
}

void OnSelectionGrabTimer(SelectionGrabber& grabber)
{
    Tick(grabber);
}
