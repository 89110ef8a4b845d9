#include "clipboard/selection_grab.h"
#include "clipboard/clipboard_snapshot.h"
#include "clipboard/secret_copy.h"
#include "res/resource.h"
#include <algorithm>
#include <cwchar>
#include <functional>
#include <vector>

namespace {

constexpr DWORD PollMs = 10;
// The copying program, or the platform's bridge to other clipboards, holds the
// clipboard open only for a moment.
constexpr DWORD ClipboardOpenPatienceMs = 500;

bool grabbing = false;
// The sequence number of the clipboard as a grab left it; 0 when there is none.
DWORD putBackSequence = 0;

class GrabUnderWay {
public:
    GrabUnderWay() { grabbing = true; }
    ~GrabUnderWay() { grabbing = false; }
    GrabUnderWay(const GrabUnderWay&) = delete;
    GrabUnderWay& operator=(const GrabUnderWay&) = delete;
};

// Waiting inside a command, the window still answers the clipboard chain and the
// copying program's requests, which are sent; what is posted waits for the main loop,
// so no second command starts in the middle of this one.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        const DWORD pause = static_cast<DWORD>(std::min<ULONGLONG>(PollMs, deadline - now));
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pause, QS_SENDMESSAGE);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool OpenClipboardPatiently(HWND owner)
{
    return WaitFor([owner] { return OpenClipboard(owner) != FALSE; }, ClipboardOpenPatienceMs);
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

// The clipboard is open. A secret is recognised before anything of it is read.
SelectionGrab ReadCopiedText()
{
    SelectionGrab grab;
    if (ClipboardContentIsSecret()) {
        grab.outcome = SelectionGrabOutcome::Secret;
        return grab;
    }
    grab.outcome = SelectionGrabOutcome::NoText;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return grab;
    const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
    if (!text)
        return grab;
    // The memory may hold no terminator within its size.
    grab.text.assign(text, wcsnlen(text, GlobalSize(data) / sizeof(wchar_t)));
    GlobalUnlock(data);
    if (!grab.text.empty())
        grab.outcome = SelectionGrabOutcome::Taken;
    return grab;
}

bool PutBack(HWND owner, const ClipboardSnapshot& snapshot)
{
    if (!OpenClipboardPatiently(owner))
        return false;
    const bool placed = snapshot.PutBackIntoOpenClipboard();
    CloseClipboard();
    putBackSequence = GetClipboardSequenceNumber();
    return placed;
}

} // namespace

SelectionGrab GrabSelectedText(HWND owner)
{
    SelectionGrab grab;
    if (grabbing)
        return grab;
    // The program's own windows would take the Ctrl+C only after this returns, and the
    // Speech window would then copy its whole text over what the user had copied.
    DWORD foregroundProcess = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &foregroundProcess);
    if (foregroundProcess == GetCurrentProcessId())
        return grab;
    const GrabUnderWay underWay;
    // What cannot be remembered could not be put back: then nothing is copied over it.
    if (!OpenClipboardPatiently(owner)) {
        grab.outcome = SelectionGrabOutcome::ClipboardBusy;
        return grab;
    }
    const ClipboardSnapshot snapshot = ClipboardSnapshot::OfOpenClipboard();
    CloseClipboard();

    const DWORD before = GetClipboardSequenceNumber();
    // Keys that could not be sent copy nothing, which is what the user then hears of.
    if (!SendCopyKeys())
        return grab;
    if (!WaitFor([before] { return GetClipboardSequenceNumber() != before; }, SELECTION_COPY_TIMEOUT_MS))
        return grab;

    if (OpenClipboardPatiently(owner)) {
        grab = ReadCopiedText();
        CloseClipboard();
    } else {
        grab.outcome = SelectionGrabOutcome::ClipboardBusy;
    }
    grab.putBack = PutBack(owner, snapshot);
    return grab;
}

bool IsSelectionGrabChange()
{
    return grabbing || (putBackSequence != 0 && GetClipboardSequenceNumber() == putBackSequence);
}

void ForgetSelectionGrabPutBack()
{
    putBackSequence = 0;
}
