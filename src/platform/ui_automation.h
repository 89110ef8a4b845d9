#pragma once
// UI Automation as the program uses it: the identifiers and text-pattern interfaces that
// MinGW-w64's headers lack (its uiautomationcoreapi.h does not compile as C++), and
// UIAutomationCore.dll's functions, found at run time so that the program starts where
// the library is missing.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <uiautomationcore.h>
#include <uiautomationclient.h>

inline constexpr LONG UiaRootObjectId = -25;

inline constexpr HRESULT UiaElementNotAvailable = static_cast<HRESULT>(0x80040201);
inline constexpr HRESULT UiaInvalidOperation = static_cast<HRESULT>(0x80131509);
inline constexpr HRESULT UiaTimeout = static_cast<HRESULT>(0x80131505);

inline constexpr CONTROLTYPEID UiaDocumentControlTypeId = 50030;
inline constexpr EVENTID UiaTextSelectionChangedEventId = 20014;
inline constexpr EVENTID UiaTextChangedEventId = 20015;
inline constexpr TEXTATTRIBUTEID UiaIsReadOnlyAttributeId = 40015;

enum TextUnit {
    TextUnit_Character = 0,
    TextUnit_Format = 1,
    TextUnit_Word = 2,
    TextUnit_Line = 3,
    TextUnit_Paragraph = 4,
    TextUnit_Page = 5,
    TextUnit_Document = 6
};

enum TextPatternRangeEndpoint {
    TextPatternRangeEndpoint_Start = 0,
    TextPatternRangeEndpoint_End = 1
};

enum SupportedTextSelection {
    SupportedTextSelection_None = 0,
    SupportedTextSelection_Single = 1,
    SupportedTextSelection_Multiple = 2
};

struct UiaPoint {
    double x;
    double y;
};

MIDL_INTERFACE("5347ad7b-c355-46f8-aff5-909033582f63")
ITextRangeProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* range, BOOL* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint,
                                                       ITextRangeProvider* targetRange,
                                                       TextPatternRangeEndpoint targetEndpoint, int* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(TextUnit unit) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID attributeId, VARIANT val, BOOL backward,
                                                    ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase,
                                               ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attributeId, VARIANT* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(TextUnit unit, int count, int* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit unit,
                                                         int count, int* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByRange(TextPatternRangeEndpoint endpoint,
                                                          ITextRangeProvider* targetRange,
                                                          TextPatternRangeEndpoint targetEndpoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** pRetVal) = 0;
};
__CRT_UUID_DECL(ITextRangeProvider, 0x5347ad7b, 0xc355, 0x46f8, 0xaf, 0xf5, 0x90, 0x90, 0x33, 0x58, 0x2f, 0x63)

MIDL_INTERFACE("3589c92c-63f3-4367-99bb-ada653b77cf2")
ITextProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple* childElement,
                                                     ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromPoint(UiaPoint point, ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(SupportedTextSelection* pRetVal) = 0;
};
__CRT_UUID_DECL(ITextProvider, 0x3589c92c, 0x63f3, 0x4367, 0x99, 0xbb, 0xad, 0xa6, 0x53, 0xb7, 0x7c, 0xf2)

DECLARE_HANDLE(HUIANODE);

// UIAutomationCore.dll's functions. A provider needs the first three; the others may be
// missing from an older or partial library and are null then.
struct UiAutomationLibrary {
    LRESULT(WINAPI* ReturnRawElementProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
    HRESULT(WINAPI* HostProviderFromHwnd)(HWND, IRawElementProviderSimple**) = nullptr;
    HRESULT(WINAPI* RaiseAutomationEvent)(IRawElementProviderSimple*, EVENTID) = nullptr;
    BOOL(WINAPI* ClientsAreListening)() = nullptr;
    HRESULT(WINAPI* DisconnectProvider)(IRawElementProviderSimple*) = nullptr;
    HRESULT(WINAPI* GetReservedNotSupportedValue)(IUnknown**) = nullptr;
    // The client's side, for a program that looks at another one's elements.
    HRESULT(WINAPI* NodeFromHandle)(HWND, HUIANODE*) = nullptr;
    HRESULT(WINAPI* GetPropertyValue)(HUIANODE, PROPERTYID, VARIANT*) = nullptr;
    BOOL(WINAPI* NodeRelease)(HUIANODE) = nullptr;
};

// The library, loaded on the first call; null, with the failure logged once, when it
// cannot be loaded or lacks what a provider needs. Stays loaded for the run.
const UiAutomationLibrary* UiAutomation();
