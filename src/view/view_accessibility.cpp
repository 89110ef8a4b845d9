#include "view/view_accessibility.h"
#include "platform/log.h"
#include "platform/ui_automation.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "view/text_units.h"
#include "view/text_view_control.h"
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <unordered_map>
#include <vector>

// What the provider and its ranges share with the view. The view is touched only on its
// own thread: calls that come on another one (UI Automation's) are sent there.
struct ViewLink {
    TextViewControl* view = nullptr;   // null once the window goes
    HWND window = nullptr;
    DWORD thread = 0;
    std::atomic<HWND> callWindow{nullptr};
    std::atomic<bool> connected{true};

    HRESULT Run(const std::function<HRESULT(TextViewControl&)>& work);
};

namespace {

constexpr wchar_t CallWindowClass[] = L"ClipvoceViewAccessibilityCalls";
constexpr UINT RunOnViewThread = WM_APP + 1;

// Ranges of this program answer this interface with themselves, so that two of them can
// be compared; a client's own range object cannot be.
constexpr GUID OwnRangeIdentity = {0x7481da2f, 0x36c4, 0x4bc1, {0x9c, 0x13, 0x2d, 0x7a, 0x2a, 0x53, 0xf2, 0xac}};

LRESULT CALLBACK CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RunOnViewThread) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeCallWindow()
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

std::mutex registryLock;
std::unordered_map<HWND, ViewAccessibility*> registry;

class ViewLines final : public LineLookup {
public:
    explicit ViewLines(TextViewControl& view) : view_(view) {}
    int LineStartAt(int index) override { return view_.LineStart(view_.LineOf(index)); }
    int LineEndAt(int index) override { return view_.LineEnd(view_.LineOf(index)); }

private:
    TextViewControl& view_;
};

// Units the view has no notion of fall back to the next larger one.
TextUnitKind KindOf(TextUnit unit)
{
    switch (unit) {
    case TextUnit_Character:
        return TextUnitKind::Character;
    case TextUnit_Format:
    case TextUnit_Word:
        return TextUnitKind::Word;
    case TextUnit_Line:
        return TextUnitKind::Line;
    case TextUnit_Paragraph:
        return TextUnitKind::Paragraph;
    default:
        return TextUnitKind::Document;
    }
}

TextRange Clamped(TextRange range, const TextViewControl& view)
{
    const int length = static_cast<int>(view.Text().size());
    const int start = std::clamp(range.start, 0, length);
    return {start, std::clamp(range.end, start, length)};
}

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

}  // namespace

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

class ViewProvider final : public IRawElementProviderSimple, public ITextProvider {
public:
    explicit ViewProvider(std::shared_ptr<ViewLink> link) : link_(std::move(link)) {}
    const std::shared_ptr<ViewLink>& Link() const { return link_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple))
            *out = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == __uuidof(ITextProvider))
            *out = static_cast<ITextProvider*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
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

    std::atomic<ULONG> references_{1};
    std::shared_ptr<ViewLink> link_;
};

namespace {

class RangeProvider final : public ITextRangeProvider {
public:
    RangeProvider(ComPtr<ViewProvider> owner, TextRange range) : owner_(std::move(owner)), range_(range) {}
    static ComPtr<ITextRangeProvider> Make(ViewProvider* owner, TextRange range)
    {
        return ComPtr<ITextRangeProvider>::Adopt(new RangeProvider(ComPtr<ViewProvider>::Share(owner), range));
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(ITextRangeProvider) || iid == OwnRangeIdentity) {
            *out = static_cast<ITextRangeProvider*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([&](TextViewControl& view) {
            *out = Make(owner_.Get(), Clamped(range_, view)).Detach();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* other, BOOL* same) override
    {
        if (!same)
            return E_POINTER;
        *same = FALSE;
        ComPtr<RangeProvider> theOther = Own(other);
        if (!theOther)
            return E_INVALIDARG;
        return Run([&](TextViewControl& view) {
            const TextRange mine = Clamped(range_, view);
            const TextRange its = Clamped(theOther->range_, view);
            *same = mine.start == its.start && mine.end == its.end;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                               TextPatternRangeEndpoint targetEndpoint, int* order) override
    {
        if (!order)
            return E_POINTER;
        *order = 0;
        ComPtr<RangeProvider> theOther = Own(target);
        if (!theOther)
            return E_INVALIDARG;
        return Run([&](TextViewControl& view) {
            *order = Endpoint(Clamped(range_, view), endpoint) - Endpoint(Clamped(theOther->range_, view), targetEndpoint);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(TextUnit unit) override
    {
        return Run([&](TextViewControl& view) {
            ViewLines lines(view);
            range_ = TextUnits(view.Text(), lines).Enclosing(KindOf(unit), Clamped(range_, view));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL, ITextRangeProvider** out) override
    {
        // All of the text has the same attributes, and none that a search could single out.
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([](TextViewControl&) { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!text)
            return E_INVALIDARG;
        std::wstring sought(text, SysStringLen(text));
        if (sought.empty())
            return E_INVALIDARG;
        return Run([&](TextViewControl& view) {
            const TextRange range = Clamped(range_, view);
            std::wstring within = view.Text().substr(static_cast<size_t>(range.start),
                                                     static_cast<size_t>(range.end - range.start));
            if (ignoreCase) {
                CharLowerBuffW(within.data(), static_cast<DWORD>(within.size()));
                CharLowerBuffW(sought.data(), static_cast<DWORD>(sought.size()));
            }
            const size_t found = backward ? within.rfind(sought) : within.find(sought);
            if (found != std::wstring::npos) {
                const int start = range.start + static_cast<int>(found);
                *out = Make(owner_.Get(), {start, start + static_cast<int>(sought.size())}).Detach();
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return Run([&](TextViewControl&) {
            if (attribute == UiaIsReadOnlyAttributeId) {
                value->vt = VT_BOOL;
                value->boolVal = VARIANT_TRUE;
                return S_OK;
            }
            const UiAutomationLibrary* library = UiAutomation();
            IUnknown* notSupported = nullptr;
            if (library && library->GetReservedNotSupportedValue &&
                SUCCEEDED(library->GetReservedNotSupportedValue(&notSupported)) && notSupported) {
                value->vt = VT_UNKNOWN;
                value->punkVal = notSupported;
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([&](TextViewControl& view) {
            const std::vector<RECT> rectangles = view.RangeRectangles(Clamped(range_, view));
            SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(rectangles.size() * 4));
            if (!array)
                return E_OUTOFMEMORY;
            double* numbers = nullptr;
            if (!rectangles.empty()) {
                const HRESULT access = SafeArrayAccessData(array, reinterpret_cast<void**>(&numbers));
                if (FAILED(access)) {
                    SafeArrayDestroy(array);
                    return access;
                }
                for (const RECT& rectangle : rectangles) {
                    POINT topLeft{rectangle.left, rectangle.top};
                    ClientToScreen(view.Window(), &topLeft);
                    *numbers++ = topLeft.x;
                    *numbers++ = topLeft.y;
                    *numbers++ = rectangle.right - rectangle.left;
                    *numbers++ = rectangle.bottom - rectangle.top;
                }
                SafeArrayUnaccessData(array);
            }
            *out = array;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([&](TextViewControl&) {
            *out = static_cast<IRawElementProviderSimple*>(owner_.Get());
            (*out)->AddRef();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (maxLength < -1)
            return E_INVALIDARG;
        return Run([&](TextViewControl& view) {
            const TextRange range = Clamped(range_, view);
            int length = range.end - range.start;
            if (maxLength >= 0)
                length = std::min(length, maxLength);
            *out = SysAllocStringLen(view.Text().data() + range.start, static_cast<UINT>(length));
            return *out ? S_OK : E_OUTOFMEMORY;
        });
    }
    HRESULT STDMETHODCALLTYPE Move(TextUnit unit, int count, int* moved) override
    {
        if (!moved)
            return E_POINTER;
        *moved = 0;
        return Run([&](TextViewControl& view) {
            ViewLines lines(view);
            TextRange range = Clamped(range_, view);
            *moved = TextUnits(view.Text(), lines).MoveRange(KindOf(unit), range, count);
            range_ = range;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit unit, int count,
                                                 int* moved) override
    {
        if (!moved)
            return E_POINTER;
        *moved = 0;
        return Run([&](TextViewControl& view) {
            ViewLines lines(view);
            range_ = Clamped(range_, view);
            int position = Endpoint(range_, endpoint);
            *moved = TextUnits(view.Text(), lines).MovePosition(KindOf(unit), position, count);
            SetEndpoint(endpoint, position);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByRange(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                                  TextPatternRangeEndpoint targetEndpoint) override
    {
        ComPtr<RangeProvider> theOther = Own(target);
        if (!theOther)
            return E_INVALIDARG;
        return Run([&](TextViewControl& view) {
            range_ = Clamped(range_, view);
            SetEndpoint(endpoint, Endpoint(Clamped(theOther->range_, view), targetEndpoint));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Select() override
    {
        return Run([&](TextViewControl& view) {
            view.SelectRange(Clamped(range_, view));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE AddToSelection() override { return UiaInvalidOperation; }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override { return UiaInvalidOperation; }
    HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override
    {
        return Run([&](TextViewControl& view) {
            const TextRange range = Clamped(range_, view);
            view.ScrollIntoView(alignToTop ? range.start : range.end, alignToTop != FALSE);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([&](TextViewControl&) { return ArrayOf(std::vector<ComPtr<IUnknown>>(), out); });
    }

private:
    ~RangeProvider() = default;
    HRESULT Run(const std::function<HRESULT(TextViewControl&)>& work) { return owner_->Link()->Run(work); }
    // other as a range of the same view; null for anything else.
    ComPtr<RangeProvider> Own(ITextRangeProvider* other) const
    {
        ComPtr<ITextRangeProvider> own;
        if (!other || FAILED(other->QueryInterface(OwnRangeIdentity, own.OutVoid())))
            return {};
        auto* range = static_cast<RangeProvider*>(own.Get());
        if (range->owner_->Link() != owner_->Link())
            return {};
        return ComPtr<RangeProvider>::Share(range);
    }
    static int Endpoint(TextRange range, TextPatternRangeEndpoint endpoint)
    {
        return endpoint == TextPatternRangeEndpoint_Start ? range.start : range.end;
    }
    // An endpoint moved past the other one takes it along.
    void SetEndpoint(TextPatternRangeEndpoint endpoint, int position)
    {
        if (endpoint == TextPatternRangeEndpoint_Start) {
            range_.start = position;
            range_.end = std::max(range_.end, position);
        } else {
            range_.end = position;
            range_.start = std::min(range_.start, position);
        }
    }

    std::atomic<ULONG> references_{1};
    ComPtr<ViewProvider> owner_;
    TextRange range_;
};

}  // namespace

HRESULT ViewProvider::OneRange(const std::function<TextRange(TextViewControl&)>& which, SAFEARRAY** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return link_->Run([&](TextViewControl& view) {
        return ArrayOf(std::vector<ComPtr<ITextRangeProvider>>{RangeProvider::Make(this, Clamped(which(view), view))},
                       out);
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
        *out = RangeProvider::Make(this, Clamped({index, index}, view)).Detach();
        return S_OK;
    });
}

HRESULT ViewProvider::get_DocumentRange(ITextRangeProvider** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return link_->Run([&](TextViewControl& view) {
        *out = RangeProvider::Make(this, {0, static_cast<int>(view.Text().size())}).Detach();
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
        link_->callWindow = MakeCallWindow();
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
