#include "view/accessible_text_range.h"
#include "view/accessible_link.h"
#include "platform/com_object.h"
#include "view/text_units.h"
#include "view/text_view_control.h"
#include <algorithm>
#include <string>
#include <utility>

namespace {

// Ranges of this program answer this interface with themselves, so that two of them can
// be compared; a client's own range object cannot be.
constexpr GUID OwnRangeIdentity = {0x7481da2f, 0x36c4, 0x4bc1, {0x9c, 0x13, 0x2d, 0x7a, 0x2a, 0x53, 0xf2, 0xac}};

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

class RangeProvider final : public ComObject<ITextRangeProvider> {
public:
    RangeProvider(ComPtr<IRawElementProviderSimple> element, std::shared_ptr<ViewLink> link, TextRange range)
        : element_(std::move(element)), link_(std::move(link)), range_(range)
    {
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        const bool answered =
            iid == __uuidof(IUnknown) || iid == __uuidof(ITextRangeProvider) || iid == OwnRangeIdentity;
        return HandOut(answered ? static_cast<ITextRangeProvider*>(this) : nullptr, out);
    }

    HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Run([&](TextViewControl& view) {
            *out = Make(Clamped(range_, view)).Detach();
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
                *out = Make({start, start + static_cast<int>(sought.size())}).Detach();
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
            *out = element_.Get();
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
    HRESULT Run(const std::function<HRESULT(TextViewControl&)>& work) { return link_->Run(work); }
    // Another range of the same view, enclosed by the same element.
    ComPtr<ITextRangeProvider> Make(TextRange range) const
    {
        return ComPtr<ITextRangeProvider>::Adopt(new RangeProvider(element_, link_, range));
    }
    // other as a range of the same view; null for anything else.
    ComPtr<RangeProvider> Own(ITextRangeProvider* other) const
    {
        ComPtr<ITextRangeProvider> own;
        if (!other || FAILED(other->QueryInterface(OwnRangeIdentity, own.OutVoid())))
            return {};
        auto* range = static_cast<RangeProvider*>(own.Get());
        if (range->link_ != link_)
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

    ComPtr<IRawElementProviderSimple> element_;
    std::shared_ptr<ViewLink> link_;
    TextRange range_;
};

}  // namespace

ComPtr<ITextRangeProvider> MakeAccessibleTextRange(IRawElementProviderSimple* element, std::shared_ptr<ViewLink> link,
                                                   TextRange range)
{
    return ComPtr<ITextRangeProvider>::Adopt(
        new RangeProvider(ComPtr<IRawElementProviderSimple>::Share(element), std::move(link), range));
}
