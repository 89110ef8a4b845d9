#pragma once
// What assistive technology (screen readers, magnifiers) learns of a text view: a UI
// Automation provider, made when a client first asks, whose text pattern reads the view's
// text through the view's own layout. UI Automation is loaded when first needed; where it
// cannot be, the view answers nothing and works on.
#include <windows.h>
#include <memory>
#include "platform/com_ptr.h"

class TextViewControl;
class ViewProvider;
struct ViewLink;
struct IRawElementProviderSimple;

class ViewAccessibility {
public:
    explicit ViewAccessibility(TextViewControl& view);
    ~ViewAccessibility();
    ViewAccessibility(const ViewAccessibility&) = delete;
    ViewAccessibility& operator=(const ViewAccessibility&) = delete;

    // The answer to WM_GETOBJECT; false when the view has none for what is asked, and
    // the message goes to the default procedure.
    bool Answer(WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The selection (the spoken word while reading) moved.
    void SelectionChanged();
    // The view took another text.
    void TextChanged();
    // The window goes: clients let go of the provider, which answers nothing after.
    void Disconnect();

    // The provider WM_GETOBJECT hands out for the text view window view, as a client in
    // this process reaches it; null without UI Automation or once the window went. On the
    // view's thread.
    static ComPtr<IRawElementProviderSimple> ProviderOf(HWND view);

private:
    bool MakeProvider();
    void Raise(int eventId);

    TextViewControl& view_;
    HWND window_;
    std::shared_ptr<ViewLink> link_;
    ComPtr<ViewProvider> provider_;
    bool disconnected_ = false;
};
