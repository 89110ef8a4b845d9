#include "view/accessible_link.h"
#include "platform/log.h"
#include "view/text_view_control.h"
#include <algorithm>

namespace {

constexpr wchar_t CallWindowClass[] = L"ClipvoceViewAccessibilityCalls";
constexpr UINT RunOnViewThread = WM_APP + 1;

LRESULT CALLBACK CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RunOnViewThread) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND MakeViewCallWindow()
{
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = CallWindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = CallWindowClass;
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    HWND window = registered ? CreateWindowExW(0, CallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                               GetModuleHandleW(nullptr), nullptr)
                             : nullptr;
    if (!window)
        LogFailure(L"CreateWindowEx of the text view's accessibility window", GetLastError());
    return window;
}

HRESULT ViewLink::Run(const std::function<HRESULT(TextViewControl&)>& work)
{
    if (!connected)
        return UiaElementNotAvailable;
    if (GetCurrentThreadId() == thread)
        return view ? work(*view) : UiaElementNotAvailable;
    HRESULT result = UiaElementNotAvailable;
    const std::function<void()> call = [&] { result = view ? work(*view) : UiaElementNotAvailable; };
    // Waits for as long as the view's thread takes: a call that gave up waiting would
    // leave that thread writing to answers nobody waits for any more. A window that is
    // gone answers at once, and the result stays "not available".
    if (const HWND window = callWindow)
        SendMessageW(window, RunOnViewThread, 0, reinterpret_cast<LPARAM>(&call));
    return result;
}

TextRange Clamped(TextRange range, const TextViewControl& view)
{
    const int length = static_cast<int>(view.Text().size());
    const int start = std::clamp(range.start, 0, length);
    return {start, std::clamp(range.end, start, length)};
}
