// The DLL's COM plumbing: class objects for the voice, the stream and the voice
// category, the unload check, and registration over the platform's own entries for
// those classes, with the tokens of the voices.
#include "module.h"
#include "voice_token.h"
#include "platform/scoped_handle.h"
#include <olectl.h>
#include <sapi.h>
#include <string>

const GUID kWaveFormatExId = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};

namespace {

HINSTANCE moduleInstance = nullptr;
LONG moduleRefs = 0;

using CreateFunction = HRESULT (*)(REFIID, void**);

// Class objects live as long as the DLL; a reference to one holds the module.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override
    {
        ModuleAddRef();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override
    {
        ModuleRelease();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create_(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            ModuleAddRef();
        else
            ModuleRelease();
        return S_OK;
    }

private:
    CreateFunction create_;
};

ClassFactory voiceFactory(CreateVoice);
ClassFactory streamFactory(CreateWavStream);
ClassFactory categoryFactory(CreateTokenCategory);

struct ServedClass {
    const CLSID* clsid;
    const wchar_t* name;
};

const ServedClass servedClasses[] = {
    {&CLSID_SpVoice, L"Stand-in speech voice"},
    {&CLSID_SpStream, L"Stand-in speech stream"},
    {&CLSID_SpObjectTokenCategory, L"Stand-in speech token category"},
};

std::wstring ClassKey(const CLSID& clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(moduleInstance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A key under the classes root, opened for writing; empty when it cannot be.
RegistryKey CreateClassesKey(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return {};
    return RegistryKey(key);
}

HRESULT RegisterServedClass(const ServedClass& served, const std::wstring& path)
{
    const std::wstring classKey = ClassKey(*served.clsid);
    if (const RegistryKey key = CreateClassesKey(classKey);
        !key || SetString(key.get(), nullptr, served.name) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    const RegistryKey server = CreateClassesKey(classKey + L"\\InprocServer32");
    if (!server || SetString(server.get(), nullptr, path) != ERROR_SUCCESS ||
        SetString(server.get(), L"ThreadingModel", L"Both") != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

// Removes the server entry only where it still names this DLL: whatever registered
// itself after us keeps its entry.
void UnregisterServedClass(const ServedClass& served, const std::wstring& path)
{
    const std::wstring classKey = ClassKey(*served.clsid);
    const std::wstring serverKey = classKey + L"\\InprocServer32";
    wchar_t server[MAX_PATH * 2] = {};
    DWORD bytes = sizeof server - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &bytes) != ERROR_SUCCESS)
        return;
    if (_wcsicmp(server, path.c_str()) != 0)
        return;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, serverKey.c_str());
}

} // namespace

void ModuleAddRef()
{
    InterlockedIncrement(&moduleRefs);
}

void ModuleRelease()
{
    InterlockedDecrement(&moduleRefs);
}

HINSTANCE ModuleInstance()
{
    return moduleInstance;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    // Thread notifications stay on: the statically linked thread library relies on them.
    if (reason == DLL_PROCESS_ATTACH)
        moduleInstance = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // Lets a test see the program on a system whose voice cannot be created.
    if (IsEqualCLSID(clsid, CLSID_SpVoice) && GetEnvironmentVariableW(L"CLIPVOCE_VOICE_UNAVAILABLE", nullptr, 0) > 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    if (IsEqualCLSID(clsid, CLSID_SpVoice))
        return voiceFactory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_SpStream))
        return streamFactory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_SpObjectTokenCategory))
        return categoryFactory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return moduleRefs == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    const std::wstring path = ModulePath();
    if (path.empty())
        return SELFREG_E_CLASS;
    for (const ServedClass& served : servedClasses) {
        const HRESULT hr = RegisterServedClass(served, path);
        if (FAILED(hr))
            return hr;
    }
    return RegisterVoiceTokens();
}

STDAPI DllUnregisterServer()
{
    const std::wstring path = ModulePath();
    for (const ServedClass& served : servedClasses)
        UnregisterServedClass(served, path);
    UnregisterVoiceTokens();
    return S_OK;
}
