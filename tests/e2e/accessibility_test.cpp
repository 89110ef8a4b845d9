// A screen reader in another process finds the Speech window's text view as a document
// named for the window.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "platform/ui_automation.h"
#include <string>

namespace {

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

    HUIANODE node = nullptr;
    ASSERT_EQ(library->NodeFromHandle(view, &node), S_OK) << "no element for the text view";
    VARIANT type, name;
    EXPECT_EQ(library->GetPropertyValue(node, UIA_ControlTypePropertyId, &type), S_OK);
    EXPECT_EQ(type.vt, VT_I4);
    EXPECT_EQ(type.lVal, UiaDocumentControlTypeId);
    EXPECT_EQ(library->GetPropertyValue(node, UIA_NamePropertyId, &name), S_OK);
    EXPECT_EQ(name.vt, VT_BSTR);
    if (name.vt == VT_BSTR) {
        EXPECT_STREQ(name.bstrVal, L"Speech window");
    }
    VariantClear(&name);
    library->NodeRelease(node);
    CoUninitialize();
}

}  // namespace
