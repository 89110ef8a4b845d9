// A screen reader in another process finds the Speech window's text view as a document
// named for the window.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "platform/ui_automation.h"
#include <memory>
#include <string>

namespace {

class Node {
public:
    Node(const UiAutomationLibrary& library, HWND window) : library_(library)
    {
        result = library.NodeFromHandle(window, &node_);
    }
    ~Node()
    {
        if (node_)
            library_.NodeRelease(node_);
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    VARIANT Property(PROPERTYID id)
    {
        VARIANT value;
        VariantInit(&value);
        propertyResult = library_.GetPropertyValue(node_, id, &value);
        return value;
    }
    HRESULT result = E_FAIL;
    HRESULT propertyResult = E_FAIL;

private:
    const UiAutomationLibrary& library_;
    HUIANODE node_ = nullptr;
};

TEST(Accessibility, AnotherProcessFindsTheTextViewAsTheSpeechWindowsDocument)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    const UiAutomationLibrary* library = UiAutomation();
    ASSERT_TRUE(library && library->NodeFromHandle && library->GetPropertyValue && library->NodeRelease)
        << "UIAutomationCore.dll's client functions are missing";

    WriteSettingsFile();
    EmptyTheClipboard();
    AppProcess app;
    const HWND window = app.Window();
    ASSERT_NE(window, nullptr) << "the Speech window did not appear";
    const std::wstring copied = L"A copy for the screen reader.";
    ASSERT_TRUE(SetClipboardText(copied));
    // The view shows the copy prepared for reading, not always as copied.
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).find(L"screen reader") != std::wstring::npos; }, 10000))
        << "the copy did not reach the Speech window";
    const HWND view = TextViewOf(window);
    ASSERT_NE(view, nullptr);

    {
        Node node(*library, view);
        ASSERT_EQ(node.result, S_OK) << "no element for the text view";
        VARIANT type = node.Property(UIA_ControlTypePropertyId);
        EXPECT_EQ(node.propertyResult, S_OK);
        EXPECT_EQ(type.vt, VT_I4);
        EXPECT_EQ(type.lVal, UiaDocumentControlTypeId);
        VARIANT name = node.Property(UIA_NamePropertyId);
        EXPECT_EQ(node.propertyResult, S_OK);
        ASSERT_EQ(name.vt, VT_BSTR);
        EXPECT_STREQ(name.bstrVal, L"Speech window");
        VariantClear(&name);
    }
    CoUninitialize();
}

}  // namespace
