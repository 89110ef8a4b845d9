#include "speech/colour_hook.h"
#include "speech/text_view.h"
#include "settings/app_settings.h"
#include "platform/log.h"
#include <cstring>
#include <vector>

namespace {

// The system's own query, which the hook asks first.
ColourQuery systemGetSysColor = nullptr;
// The module's import slots that now hold the hook.
std::vector<ColourQuery*> redirectedSlots;

DWORD WINAPI HookedGetSysColor(int index)
{
    return ColourHookAnswer(index, systemGetSysColor(index));
}

template <typename T>
T* AtRva(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

const IMAGE_DATA_DIRECTORY* Directory(HMODULE module, int entry)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = AtRva<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE || static_cast<DWORD>(entry) >= nt->OptionalHeader.NumberOfRvaAndSizes)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[entry];
    return directory.VirtualAddress != 0 && directory.Size != 0 ? &directory : nullptr;
}

bool NamesGetSysColor(HMODULE module, ULONG_PTR nameEntry)
{
    if (IMAGE_SNAP_BY_ORDINAL(nameEntry))
        return false;
    const auto* byName = AtRva<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(nameEntry));
    return std::strcmp(reinterpret_cast<const char*>(byName->Name), "GetSysColor") == 0;
}

// The slots of one import address table that hold the colour query: by name where the
// module keeps the names, by the address the loader put in otherwise.
void CollectSlots(HMODULE module, DWORD addressTable, DWORD nameTable, std::vector<ColourQuery*>& slots)
{
    auto* addresses = AtRva<IMAGE_THUNK_DATA>(module, addressTable);
    const auto* names = nameTable != 0 ? AtRva<const IMAGE_THUNK_DATA>(module, nameTable) : nullptr;
    for (size_t i = 0; addresses[i].u1.Function != 0; ++i) {
        const bool named = names && NamesGetSysColor(module, names[i].u1.AddressOfData);
        const bool bound = addresses[i].u1.Function == reinterpret_cast<ULONG_PTR>(systemGetSysColor);
        if (named || bound)
            slots.push_back(reinterpret_cast<ColourQuery*>(&addresses[i].u1.Function));
    }
}

// Imports that the loader binds at load time, and those bound at the first call: a slot
// of the latter still points at its loader stub, which the hook then replaces for good.
std::vector<ColourQuery*> ColourQuerySlots(HMODULE module)
{
    std::vector<ColourQuery*> slots;
    if (const IMAGE_DATA_DIRECTORY* imports = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT)) {
        for (auto* d = AtRva<const IMAGE_IMPORT_DESCRIPTOR>(module, imports->VirtualAddress); d->Name != 0; ++d)
            CollectSlots(module, d->FirstThunk, d->OriginalFirstThunk, slots);
    }
    if (const IMAGE_DATA_DIRECTORY* delayed = Directory(module, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)) {
        for (auto* d = AtRva<const IMAGE_DELAYLOAD_DESCRIPTOR>(module, delayed->VirtualAddress); d->DllNameRVA != 0;
             ++d) {
            if (d->Attributes.RvaBased)
                CollectSlots(module, d->ImportAddressTableRVA, d->ImportNameTableRVA, slots);
        }
    }
    return slots;
}

// The module that draws the TextView: the one that holds its window class's procedure.
HMODULE TextViewModule()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(nullptr, TextViewClassName, &windowClass))
        return nullptr;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(windowClass.lpfnWndProc), &module);
    return module;
}

// The page is writable only for the moment of the swap, and never executable.
bool Redirect(ColourQuery* slot)
{
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        LogFailure(L"VirtualProtect of the rich-edit import", GetLastError());
        return false;
    }
    *slot = HookedGetSysColor;
    DWORD writable = 0;
    VirtualProtect(slot, sizeof *slot, protection, &writable);
    return true;
}

} // namespace

COLORREF ColourHookAnswer(int index, COLORREF systemColour)
{
    if (!AppSettings.showFullText) {
        if (index == COLOR_HIGHLIGHTTEXT)
            return AppSettings.textColour;
        if (index == COLOR_HIGHLIGHT)
            return AppSettings.backgroundColour;
    }
    return systemColour;
}

bool ColourHookInstalled()
{
    return !redirectedSlots.empty();
}

bool InstallColourHook()
{
    if (ColourHookInstalled())
        return true;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    // Through void*: the platform declares every procedure address without parameters.
    systemGetSysColor =
        user32 ? reinterpret_cast<ColourQuery>(reinterpret_cast<void*>(GetProcAddress(user32, "GetSysColor"))) : nullptr;
    HMODULE module = TextViewModule();
    if (!systemGetSysColor || !module) {
        LogLine(L"The played-text mode cannot colour its selection: the rich-edit module was not found");
        return false;
    }
    for (ColourQuery* slot : ColourQuerySlots(module)) {
        if (Redirect(slot))
            redirectedSlots.push_back(slot);
    }
    if (redirectedSlots.empty())
        LogLine(L"The played-text mode cannot colour its selection: the rich-edit module imports no GetSysColor");
    return ColourHookInstalled();
}

ColourQuery TextViewColourQuery()
{
    return redirectedSlots.empty() ? &GetSysColor : *redirectedSlots.front();
}
