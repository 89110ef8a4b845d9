#include "platform/ui_automation.h"
#include "platform/log.h"
#include <memory>

namespace {

template <class Function>
void Find(HMODULE library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

std::unique_ptr<UiAutomationLibrary> Load()
{
    HMODULE library = LoadLibraryW(L"UIAutomationCore.dll");
    if (!library) {
        LogFailure(L"LoadLibrary UIAutomationCore.dll", GetLastError());
        return nullptr;
    }
    auto found = std::make_unique<UiAutomationLibrary>();
    Find(library, "UiaReturnRawElementProvider", found->ReturnRawElementProvider);
    Find(library, "UiaHostProviderFromHwnd", found->HostProviderFromHwnd);
    Find(library, "UiaRaiseAutomationEvent", found->RaiseAutomationEvent);
    Find(library, "UiaClientsAreListening", found->ClientsAreListening);
    Find(library, "UiaDisconnectProvider", found->DisconnectProvider);
    Find(library, "UiaGetReservedNotSupportedValue", found->GetReservedNotSupportedValue);
    Find(library, "UiaNodeFromHandle", found->NodeFromHandle);
    Find(library, "UiaGetPropertyValue", found->GetPropertyValue);
    Find(library, "UiaNodeRelease", found->NodeRelease);
    if (!found->ReturnRawElementProvider || !found->HostProviderFromHwnd || !found->RaiseAutomationEvent) {
        LogFailure(L"GetProcAddress of UIAutomationCore.dll's provider functions", ERROR_PROC_NOT_FOUND);
        FreeLibrary(library);
        return nullptr;
    }
    return found;
}

}  // namespace

const UiAutomationLibrary* UiAutomation()
{
    // Tried once: a library that failed to load is not asked for again at every message.
    static const std::unique_ptr<UiAutomationLibrary> library = Load();
    return library.get();
}
