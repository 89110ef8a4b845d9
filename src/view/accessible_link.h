#pragma once
// What the view's accessibility provider and its text ranges share with the view, and the
// few conversions both make between the view and UI Automation.
#include <windows.h>
#include <atomic>
#include <functional>
#include <vector>
#include "platform/com_ptr.h"
#include "platform/ui_automation.h"
#include "view/text_range.h"

class TextViewControl;

// The view is touched only on its own thread: calls that come on another one (UI
// Automation's) are sent there.
struct ViewLink {
    TextViewControl* view = nullptr;   // null once the window goes
    HWND window = nullptr;
    DWORD thread = 0;
    std::atomic<HWND> callWindow{nullptr};
    std::atomic<bool> connected{true};

    HRESULT Run(const std::function<HRESULT(TextViewControl&)>& work);
};

// The window, on the view's thread, through which ViewLink::Run reaches that thread; null
// (and logged) when it cannot be made. Whoever makes it destroys it.
HWND MakeViewCallWindow();

// range cut down to the view's current text: a client may hold a range of an earlier one.
TextRange Clamped(TextRange range, const TextViewControl& view);

// items as the SAFEARRAY of IUnknown UI Automation expects; the array is the caller's.
template <class Interface>
HRESULT ArrayOf(const std::vector<ComPtr<Interface>>& items, SAFEARRAY** out)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(items.size()));
    if (!array)
        return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        const HRESULT put = SafeArrayPutElement(array, &i, static_cast<IUnknown*>(items[static_cast<size_t>(i)].Get()));
        if (FAILED(put)) {
            SafeArrayDestroy(array);
            return put;
        }
    }
    *out = array;
    return S_OK;
}
