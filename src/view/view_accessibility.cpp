#include "view/view_accessibility.h"
#include "platform/ui_automation.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "view/accessible_link.h"
#include "view/accessible_text_range.h"
#include "platform/com_object.h"
#include "view/text_view_control.h"
#include <functional>
#include <mutex>
#include <utility>
#include <unordered_map>
#include <vector>

namespace {

std::mutex registryLock;
std::unordered_map<HWND, ViewAccessibility*> registry;

}  // namespace

// The view as UI Automation sees it: one read-only document, whose text pattern hands out
// ranges of the view's text.
class ViewProvider final : public ComObject<IRawElementProviderSimple, ITextProvider> {
public:
    explicit ViewProvider(std::shared_ptr<ViewLink> link) : link_(std::move(link)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        void* answer = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple))
            answer = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == __uuidof(ITextProvider))
            answer = static_cast<ITextProvider*>(this);
        return HandOut(answer, out);
    }

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override
    {
        if (!options)
            return E_POINTER;
        *options = ProviderOptions_ServerSideProvider;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!link_->connected)
            return UiaElementNotAvailable;
        if (pattern == UIA_TextPatternId) {
            *out = static_cast<ITextProvider*>(this);
            AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return link_->Run([&](TextViewControl& view) {
            switch (property) {
            case UIA_ControlTypePropertyId:
                value->vt = VT_I4;
                value->lVal = UiaDocumentControlTypeId;
                break;
            case UIA_NamePropertyId: {
                const std::wstring name = LoadText(IDS_SPEECH_WINDOW);
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
                if (!value->bstrVal) {
                    value->vt = VT_EMPTY;
                    return E_OUTOFMEMORY;
                }
                break;
            }
            case UIA_IsKeyboardFocusablePropertyId:
            case UIA_IsTextPatternAvailablePropertyId:
            case UIA_ValueIsReadOnlyPropertyId:
                value->vt = VT_BOOL;
                value->boolVal = VARIANT_TRUE;
                break;
            case UIA_HasKeyboardFocusPropertyId: {
                // The keyboard stays with the Speech window, which reads its keys for the view.
                const HWND focus = GetFocus();
                value->vt = VT_BOOL;
                value->boolVal = focus && (focus == view.Window() || focus == GetParent(view.Window())) ? VARIANT_TRUE
                                                                                                        : VARIANT_FALSE;
                break;
            }
            default:
                break;
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override
    {
        if (!host)
            return E_POINTER;
        *host = nullptr;
        const UiAutomationLibrary* library = UiAutomation();
        if (!link_->connected || !library)
            return UiaElementNotAvailable;
        return library->HostProviderFromHwnd(link_->window, host);
    }

    // ITextProvider
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) override;
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** out) override;
    HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** out) override
    {
        // The view has no child elements: no child can be in it.
        if (out)
            *out = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE RangeFromPoint(UiaPoint point, ITextRangeProvider** out) override;
    HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** out) override;
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(SupportedTextSelection* out) override
    {
        if (!out)
            return E_POINTER;
        *out = SupportedTextSelection_Single;
        return S_OK;
    }

private:
    ~ViewProvider() = default;
    HRESULT OneRange(const std::function<TextRange(TextViewControl&)>& which, SAFEARRAY** out);

    std::shared_ptr<ViewLink> link_;
};

HRESULT ViewProvider::OneRange(const std::function<TextRange(TextViewControl&)>& which, SAFEARRAY** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return link_->Run([&](TextViewControl& view) {
        const TextRange range = Clamped(which(view), view);
        return ArrayOf(std::vector<ComPtr<ITextRangeProvider>>{MakeAccessibleTextRange(this, link_, range)}, out);
    });
}

HRESULT ViewProvider::GetSelection(SAFEARRAY** out)
{
    return OneRange([](TextViewControl& view) { return view.Selection(); }, out);
}

HRESULT ViewProvider::GetVisibleRanges(SAFEARRAY** out)
{
    return OneRange([](TextViewControl& view) { return view.VisibleRange(); }, out);
}

HRESULT ViewProvider::RangeFromPoint(UiaPoint point, ITextRangeProvider** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return link_->Run([&](TextViewControl& view) {
        POINT client{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
        ScreenToClient(view.Window(), &client);
        const int index = view.IndexAtPoint(client);
        *out = MakeAccessibleTextRange(this, link_, Clamped({index, index}, view)).Detach();
        return S_OK;
    });
}

HRESULT ViewProvider::get_DocumentRange(ITextRangeProvider** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return link_->Run([&](TextViewControl& view) {
        *out = MakeAccessibleTextRange(this, link_, {0, static_cast<int>(view.Text().size())}).Detach();
        return S_OK;
    });
}

ViewAccessibility::ViewAccessibility(TextViewControl& view) : view_(view), window_(view.Window())
{
    std::lock_guard<std::mutex> lock(registryLock);
    registry[window_] = this;
}

ViewAccessibility::~ViewAccessibility()
{
    Disconnect();
    std::lock_guard<std::mutex> lock(registryLock);
    registry.erase(window_);
}

bool ViewAccessibility::MakeProvider()
{
    if (provider_)
        return true;
    if (disconnected_ || !UiAutomation())
        return false;
    if (!link_) {
        link_ = std::make_shared<ViewLink>();
        link_->view = &view_;
        link_->window = window_;
        link_->thread = GetWindowThreadProcessId(window_, nullptr);
        link_->callWindow = MakeViewCallWindow();
    }
    provider_ = ComPtr<ViewProvider>::Adopt(new ViewProvider(link_));
    return true;
}

bool ViewAccessibility::Answer(WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (static_cast<LONG>(lParam) != UiaRootObjectId || !MakeProvider())
        return false;
    result = UiAutomation()->ReturnRawElementProvider(window_, wParam, lParam, provider_.Get());
    return true;
}

void ViewAccessibility::Raise(int eventId)
{
    // A client that never asked for the view's element listens to none of its events.
    if (!provider_)
        return;
    const UiAutomationLibrary* library = UiAutomation();
    if (library->ClientsAreListening && !library->ClientsAreListening())
        return;
    library->RaiseAutomationEvent(provider_.Get(), eventId);
}

void ViewAccessibility::SelectionChanged()
{
    Raise(UiaTextSelectionChangedEventId);
}

void ViewAccessibility::TextChanged()
{
    Raise(UiaTextChangedEventId);
}

void ViewAccessibility::Disconnect()
{
    disconnected_ = true;
    if (link_) {
        link_->connected = false;
        link_->view = nullptr;
    }
    if (provider_) {
        const UiAutomationLibrary* library = UiAutomation();
        library->ReturnRawElementProvider(window_, 0, 0, nullptr);
        if (library->DisconnectProvider)
            library->DisconnectProvider(provider_.Get());
        provider_.Reset();
    }
    if (link_)
        if (const HWND callWindow = link_->callWindow.exchange(nullptr))
            DestroyWindow(callWindow);
}

ComPtr<IRawElementProviderSimple> ViewAccessibility::ProviderOf(HWND view)
{
    ViewAccessibility* accessibility = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryLock);
        const auto found = registry.find(view);
        if (found != registry.end())
            accessibility = found->second;
    }
    if (!accessibility || !accessibility->MakeProvider())
        return {};
    return ComPtr<IRawElementProviderSimple>::Share(accessibility->provider_.Get());
}
