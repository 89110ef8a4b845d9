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

enum class Stage {
    Idle,
    Remembering,
    AwaitingRelease,
    Refocusing,
    WaitingForCopy,
    ReadingCopy,
    WatchingForLateCopy,
    PuttingBack,
    AwaitingClose,
};

struct Grab {
    Stage stage = Stage::Idle;
    HWND owner = nullptr;
    SelectionGrabListener listener;
    WPARAM ticket = 0;
    int rememberAttempts = 0;
    std::unique_ptr<ClipboardSnapshot> remembered;
    HWND target = nullptr;          // in front when the hot key was pressed
    ULONGLONG stageSince = 0;
    DWORD sequenceBeforeKeys = 0;
    DWORD frontProcess = 0;
    ULONGLONG keysSentAt = 0;
    ULONGLONG putBackSince = 0;
};

Grab grab;
// The sequence number of the clipboard as the last grab left it (put back, or holding
// the copy made for it when it could not be put back); 0 when there is none.
DWORD putBackSequence = 0;
std::wstring unreturnedText;

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

void Finish()
{
    if (grab.owner)
        KillTimer(grab.owner, IDT_SELECTION_GRAB);
    grab = Grab{};
}

void TellSelection(SelectionGrabOutcome outcome, std::wstring text = {})
{
    if (const auto tell = grab.listener.selectionRead)
        tell({outcome, std::move(text)});
}

void TellPutBack(const ClipboardPutBack& putBack)
{
    if (const auto tell = grab.listener.clipboardPutBack)
        tell(putBack);
}

bool ClipboardChangedSinceKeys()
{
    return GetClipboardSequenceNumber() != grab.sequenceBeforeKeys;
}

void Remember()
{
    grab.stage = Stage::Remembering;
    grab.ticket = StartClipboardFetch(grab.owner, FetchScope::Everything, RememberLimits);
}

// Tried at once and then at every tick: the window goes on answering meanwhile.
void TryPutBack()
{
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
            unreturnedText = *text;
            putBack.textAwaitsPaste = true;
        }
    }
    TellPutBack(putBack);
    // Whatever the clipboard holds now is the grab's doing, and so is what a program
    // still holding it open leaves in it.
    putBackSequence = GetClipboardSequenceNumber();
    if (GetOpenClipboardWindow()) {
        grab.stage = Stage::AwaitingClose;
        grab.putBackSince = GetTickCount64();
        return;
    }
    Finish();
}

void StartPutBack()
{
    grab.stage = Stage::PuttingBack;
    grab.putBackSince = GetTickCount64();
    TryPutBack();
}

void ReadCopy()
{
    grab.stage = Stage::ReadingCopy;
    grab.ticket = StartClipboardFetch(grab.owner, FetchScope::TextUnlessSecret, CopyLimits);
}

// A change after the wait: from the program the keys went to (or from no program that
// says so), it is the selection's late copy, and the clipboard is put back; from any
// other, it is a copy of the user's, which stays.
bool NoticeLateChange()
{
    const DWORD changer = ProcessOf(GetClipboardOwner());
    if (changer != 0 && changer != grab.frontProcess && changer != GetCurrentProcessId()) {
        Finish();
        return false;
    }
    StartPutBack();
    return true;
}

// Keys that could not be sent copy nothing, which is what the user then hears of.
void SendKeys()
{
    // Copied over while the program came back to the front: remembered again.
    if (ClipboardChangedSinceKeys()) {
        if (++grab.rememberAttempts < RememberAttempts) {
            Remember();
        } else {
            TellSelection(SelectionGrabOutcome::ClipboardBusy);
            Finish();
        }
        return;
    }
    const HWND front = GetForegroundWindow();
    if (ProcessOf(front) == GetCurrentProcessId() || !SendCopyKeys()) {
        LogLine(ProcessOf(front) == GetCurrentProcessId() ? L"Read selection: this program was in front"
                                                          : L"Read selection: the copy keys could not be sent");
        TellSelection(SelectionGrabOutcome::NothingSelected);
        Finish();
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
void SendKeysToTarget()
{
    const HWND front = GetForegroundWindow();
    const bool lost = !front || front == GetDesktopWindow() || ProcessOf(front) == GetCurrentProcessId();
    if (front != grab.target && lost && IsWindow(grab.target) && grab.target != GetDesktopWindow()) {
        SetForegroundWindow(grab.target);
        grab.stage = Stage::Refocusing;
        grab.stageSince = GetTickCount64();
        return;
    }
    SendKeys();
}

void CALLBACK OnGrabTick(HWND, UINT, UINT_PTR, DWORD)
{
    switch (grab.stage) {
    case Stage::AwaitingRelease:
        if (!ModifiersHeld() || Since(grab.stageSince) >= ReleaseWaitMs)
            SendKeysToTarget();
        break;
    case Stage::Refocusing:
        if (HasKeyboardFocus(grab.target) || Since(grab.stageSince) >= RefocusMs)
            SendKeys();
        break;
    case Stage::WaitingForCopy:
        if (ClipboardChangedSinceKeys()) {
            ReadCopy();
        } else if (Since(grab.keysSentAt) >= SELECTION_COPY_TIMEOUT_MS) {
            LogLine(L"Read selection: no copy came in time" +
                    std::wstring(HasKeyboardFocus(grab.target) ? L"" : L" (the program in front had no keyboard focus)"));
            grab.stage = Stage::WatchingForLateCopy;
            TellSelection(SelectionGrabOutcome::NothingSelected);
        }
        break;
    case Stage::WatchingForLateCopy:
        if (ClipboardChangedSinceKeys())
            NoticeLateChange();
        else if (Since(grab.keysSentAt) >= LateCopyWatchMs)
            Finish();
        break;
    case Stage::PuttingBack:
        TryPutBack();
        break;
    case Stage::AwaitingClose:
        if (!GetOpenClipboardWindow() || Since(grab.putBackSince) >= AwaitCloseMs) {
            putBackSequence = GetClipboardSequenceNumber();
            Finish();
        }
        break;
    default:
        break;
    }
}

void OnRemembered(ClipboardFetch& fetch)
{
    // Copied over meanwhile: what was remembered is no longer what the clipboard holds.
    const bool changed = fetch.outcome == FetchOutcome::Fetched && fetch.sequence != GetClipboardSequenceNumber();
    if (changed && ++grab.rememberAttempts < RememberAttempts) {
        Remember();
        return;
    }
    if (fetch.outcome != FetchOutcome::Fetched || changed) {
        TellSelection(SelectionGrabOutcome::ClipboardBusy);
        Finish();
        return;
    }
    grab.remembered = std::make_unique<ClipboardSnapshot>(std::move(fetch.content));
    grab.sequenceBeforeKeys = fetch.sequence;
    grab.stage = Stage::AwaitingRelease;
    grab.stageSince = GetTickCount64();
    SetTimer(grab.owner, IDT_SELECTION_GRAB, PollMs, OnGrabTick);
    OnGrabTick(nullptr, 0, 0, 0);
}

// The selection's copy is read with the same care as any copy; the clipboard is put
// back whatever came of it.
void OnCopyRead(ClipboardFetch& fetch)
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
    grab.stage = Stage::PuttingBack;
    TellSelection(read.outcome, std::move(read.text));
    StartPutBack();
}

} // namespace

bool StartSelectionGrab(HWND owner, SelectionGrabListener listener)
{
    // The last one has done its part: the clipboard still holds what it remembered, or
    // is held open by another program.
    if (grab.stage == Stage::WatchingForLateCopy || grab.stage == Stage::AwaitingClose)
        Finish();
    if (grab.stage != Stage::Idle)
        return false;
    grab.owner = owner;
    grab.listener = std::move(listener);
    // The program's own windows would take the Ctrl+C, and the Speech window would then
    // copy its whole text over what the user had copied.
    grab.target = GetForegroundWindow();
    if (ProcessOf(grab.target) == GetCurrentProcessId()) {
        TellSelection(SelectionGrabOutcome::NothingSelected);
        Finish();
        return false;
    }
    Remember();
    return true;
}

bool OnSelectionGrabFetched(WPARAM ticket, std::unique_ptr<ClipboardFetch>& fetch)
{
    if (grab.stage == Stage::Idle || ticket != grab.ticket)
        return false;
    grab.ticket = 0;
    if (grab.stage == Stage::Remembering)
        OnRemembered(*fetch);
    else if (grab.stage == Stage::ReadingCopy)
        OnCopyRead(*fetch);
    return true;
}

bool ClaimedBySelectionGrab()
{
    switch (grab.stage) {
    case Stage::Idle:
    case Stage::Remembering:
    case Stage::AwaitingRelease:
    case Stage::Refocusing:
        break;
    case Stage::WaitingForCopy:
        if (ClipboardChangedSinceKeys())
            ReadCopy();
        return true;
    case Stage::WatchingForLateCopy:
        return ClipboardChangedSinceKeys() && NoticeLateChange();
    default:
        return true;
    }
    return putBackSequence != 0 && GetClipboardSequenceNumber() == putBackSequence;
}

void ForgetSelectionGrabPutBack()
{
    putBackSequence = 0;
}

std::wstring TakeUnreturnedText()
{
    return std::exchange(unreturnedText, std::wstring());
}
