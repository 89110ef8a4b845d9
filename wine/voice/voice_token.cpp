#include "voice_token.h"
#include "com_ptr.h"
#include "module.h"
#include "sapi_errors.h"
#include <olectl.h>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include "platform/scoped_handle.h"

const wchar_t kVoiceDisplayName[] = L"Clipvoce Stand-in Voice";

namespace {

constexpr wchar_t kVoicesCategory[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";
constexpr wchar_t kTokenPrefix[] = L"ClipvoceStandIn-";
constexpr wchar_t kEspeakVoiceValue[] = L"EspeakVoice";

// The voices the stand-in registers; the first is the default.
struct StandInVoice {
    const wchar_t* suffix;
    const wchar_t* name;
    const wchar_t* language;   // the LANGID in hexadecimal, as the attribute holds it
    const wchar_t* espeakVoice;
};
constexpr StandInVoice kStandInVoices[] = {
    {L"EN", L"eSpeak NG English", L"409", L"en"}, {L"DE", L"eSpeak NG German", L"407", L"de"},
    {L"FR", L"eSpeak NG French", L"40C", L"fr"},  {L"ES", L"eSpeak NG Spanish", L"C0A", L"es"},
    {L"RU", L"eSpeak NG Russian", L"419", L"ru"},
};

// Case-insensitive, as registry names are.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

struct KeyData {
    std::map<std::wstring, std::wstring, NameLess> values;
    std::map<std::wstring, std::shared_ptr<const KeyData>, NameLess> keys;
};

std::shared_ptr<const KeyData> FixedVoiceKeyData(const wchar_t* displayName)
{
    auto attributes = std::make_shared<KeyData>();
    attributes->values = {{L"Name", displayName}, {L"Gender", L"Female"}, {L"Age", L"Adult"},
                          {L"Language", L"409"}, {L"Vendor", L"Clipvoce"}};
    auto root = std::make_shared<KeyData>();
    // The default value and the one named after the language hold the display name.
    root->values = {{L"", displayName}, {L"409", displayName}, {kEspeakVoiceValue, L"en"}};
    root->keys = {{L"Attributes", attributes}};
    return root;
}

// The key's string values and, below it, its keys: a token is read whole when it is
// opened, as it changes only when voices are installed.
std::shared_ptr<const KeyData> ReadKeyData(HKEY key, int depth = 0)
{
    auto data = std::make_shared<KeyData>();
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 256, type = 0, bytes = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS)
            continue;
        value.resize(wcsnlen(value.c_str(), value.size()));
        data->values[name] = value;
    }
    for (DWORD index = 0; depth < 4; ++index) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        const RegistryKey owned(child);
        data->keys[name] = ReadKeyData(child, depth + 1);
    }
    return data;
}

HRESULT CopyString(const std::wstring& s, LPWSTR* out)
{
    const size_t bytes = (s.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*out)
        return E_OUTOFMEMORY;
    memcpy(*out, s.c_str(), bytes);
    return S_OK;
}

// A read-only data key over fixed data; the token is one with a few more methods.
template <class Interface>
class KeyImpl : public Interface {
public:
    explicit KeyImpl(std::shared_ptr<const KeyData> data) : data_(std::move(data)) { ModuleAddRef(); }
    virtual ~KeyImpl() { ModuleRelease(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISpDataKey);
        if constexpr (std::is_same_v<Interface, ISpObjectToken>)
            known = known || IsEqualIID(riid, IID_ISpObjectToken);
        if (!known) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    STDMETHODIMP SetData(LPCWSTR, ULONG, const BYTE*) override { return E_ACCESSDENIED; }
    STDMETHODIMP GetData(LPCWSTR name, ULONG* bytes, BYTE* data) override
    {
        if (!bytes)
            return E_POINTER;
        const std::wstring* value = Find(name);
        if (!value)
            return SPERR_NOT_FOUND;
        const ULONG need = static_cast<ULONG>((value->size() + 1) * sizeof(wchar_t));
        if (data && *bytes < need) {
            *bytes = need;
            return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
        }
        if (data)
            memcpy(data, value->c_str(), need);
        *bytes = need;
        return S_OK;
    }
    STDMETHODIMP SetStringValue(LPCWSTR, LPCWSTR) override { return E_ACCESSDENIED; }
    STDMETHODIMP GetStringValue(LPCWSTR name, LPWSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        const std::wstring* found = Find(name);
        return found ? CopyString(*found, value) : SPERR_NOT_FOUND;
    }
    STDMETHODIMP SetDWORD(LPCWSTR, DWORD) override { return E_ACCESSDENIED; }
    STDMETHODIMP GetDWORD(LPCWSTR name, DWORD* value) override
    {
        if (!value)
            return E_POINTER;
        // The voice's token holds only strings.
        (void)name;
        return SPERR_NOT_FOUND;
    }
    STDMETHODIMP OpenKey(LPCWSTR name, ISpDataKey** key) override;
    STDMETHODIMP CreateKey(LPCWSTR, ISpDataKey**) override { return E_ACCESSDENIED; }
    STDMETHODIMP DeleteKey(LPCWSTR) override { return E_ACCESSDENIED; }
    STDMETHODIMP DeleteValue(LPCWSTR) override { return E_ACCESSDENIED; }
    STDMETHODIMP EnumKeys(ULONG index, LPWSTR* name) override { return EnumNames(data_->keys, index, name); }
    STDMETHODIMP EnumValues(ULONG index, LPWSTR* name) override { return EnumNames(data_->values, index, name); }

protected:
    const std::wstring* Find(LPCWSTR name) const
    {
        const auto it = data_->values.find(name ? name : L"");
        return it == data_->values.end() ? nullptr : &it->second;
    }

    template <class Map>
    static HRESULT EnumNames(const Map& map, ULONG index, LPWSTR* name)
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (index >= map.size())
            return SPERR_NO_MORE_ITEMS;
        auto it = map.begin();
        std::advance(it, index);
        return CopyString(it->first, name);
    }

    std::shared_ptr<const KeyData> data_;

private:
    ComRefCount refs_;
};

using DataKey = KeyImpl<ISpDataKey>;

template <class Interface>
HRESULT KeyImpl<Interface>::OpenKey(LPCWSTR name, ISpDataKey** key)
{
    if (!key)
        return E_POINTER;
    *key = nullptr;
    const auto it = data_->keys.find(name ? name : L"");
    if (it == data_->keys.end())
        return SPERR_NOT_FOUND;
    *key = new (std::nothrow) DataKey(it->second);
    return *key ? S_OK : E_OUTOFMEMORY;
}

class VoiceToken final : public KeyImpl<ISpObjectToken> {
public:
    VoiceToken(std::wstring id, std::shared_ptr<const KeyData> data) : KeyImpl(std::move(data)), id_(std::move(id)) {}

    STDMETHODIMP SetId(LPCWSTR, LPCWSTR, BOOL) override { return SPERR_ALREADY_INITIALIZED; }
    STDMETHODIMP GetId(LPWSTR* id) override
    {
        if (!id)
            return E_POINTER;
        return CopyString(id_, id);
    }
    STDMETHODIMP GetCategory(ISpObjectTokenCategory** category) override
    {
        if (category)
            *category = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateInstance(IUnknown*, DWORD, REFIID, void** ppv) override
    {
        if (ppv)
            *ppv = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR* path) override
    {
        if (path)
            *path = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP Remove(const CLSID*) override { return E_ACCESSDENIED; }
    STDMETHODIMP IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, BOOL* supported) override
    {
        if (!supported)
            return E_POINTER;
        *supported = FALSE;
        return S_OK;
    }
    STDMETHODIMP DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP MatchesAttributes(LPCWSTR, BOOL*) override { return E_NOTIMPL; }

private:
    std::wstring id_;
};

std::wstring StandInTokenId(const StandInVoice& voice)
{
    return std::wstring(kVoicesCategory) + L"\\Tokens\\" + kTokenPrefix + voice.suffix;
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

RegistryKey CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return {};
    return RegistryKey(key);
}

HRESULT RegisterVoiceToken(const StandInVoice& voice)
{
    HKEY root = nullptr;
    std::wstring path;
    if (!SplitRegistryPath(StandInTokenId(voice), root, path))
        return E_UNEXPECTED;
    const RegistryKey token = CreateKey(root, path);
    const RegistryKey attributes = CreateKey(root, path + L"\\Attributes");
    if (!token || !attributes)
        return SELFREG_E_CLASS;
    const std::pair<const wchar_t*, std::wstring> tokenValues[] = {
        {nullptr, voice.name}, {voice.language, voice.name}, {kEspeakVoiceValue, voice.espeakVoice}};
    const std::pair<const wchar_t*, std::wstring> attributeValues[] = {
        {L"Name", voice.name}, {L"Gender", L"Female"}, {L"Age", L"Adult"}, {L"Language", voice.language},
        {L"Vendor", L"Clipvoce"}};
    for (const auto& [name, value] : tokenValues)
        if (SetString(token.get(), name, value) != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    for (const auto& [name, value] : attributeValues)
        if (SetString(attributes.get(), name, value) != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    return S_OK;
}

} // namespace

bool SplitRegistryPath(const std::wstring& id, HKEY& root, std::wstring& path)
{
    static const std::pair<const wchar_t*, HKEY> Roots[] = {{L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                                                            {L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER}};
    for (const auto& [prefix, key] : Roots) {
        const size_t length = wcslen(prefix);
        if (id.size() > length && _wcsnicmp(id.c_str(), prefix, length) == 0) {
            root = key;
            path = id.substr(length);
            return true;
        }
    }
    return false;
}

HRESULT RegisterVoiceTokens()
{
    for (const StandInVoice& voice : kStandInVoices)
        if (const HRESULT hr = RegisterVoiceToken(voice); FAILED(hr))
            return hr;
    return S_OK;
}

void UnregisterVoiceTokens()
{
    for (const StandInVoice& voice : kStandInVoices) {
        HKEY root = nullptr;
        std::wstring path;
        if (SplitRegistryPath(StandInTokenId(voice), root, path))
            RegDeleteTreeW(root, path.c_str());
    }
}

ISpObjectToken* OpenVoiceToken(const std::wstring& id)
{
    HKEY root = nullptr;
    std::wstring path;
    HKEY key = nullptr;
    if (!SplitRegistryPath(id, root, path) || RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    const RegistryKey owned(key);
    try {
        return new VoiceToken(id, ReadKeyData(key));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::wstring DefaultVoiceTokenId()
{
    // The user's default voice, where the platform's settings name one of the category's.
    wchar_t chosen[512] = L"";
    DWORD bytes = sizeof chosen - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Speech\\Voices", L"DefaultTokenId", RRF_RT_REG_SZ,
                     nullptr, chosen, &bytes) == ERROR_SUCCESS) {
        if (const ComPtr<ISpObjectToken> token = ComPtr<ISpObjectToken>::Adopt(OpenVoiceToken(chosen)))
            return chosen;
    }
    for (const StandInVoice& voice : kStandInVoices)
        if (const ComPtr<ISpObjectToken> token = ComPtr<ISpObjectToken>::Adopt(OpenVoiceToken(StandInTokenId(voice))))
            return StandInTokenId(voice);
    return {};
}

ISpObjectToken* NewDefaultVoiceToken()
{
    if (const std::wstring id = DefaultVoiceTokenId(); !id.empty())
        if (ISpObjectToken* token = OpenVoiceToken(id))
            return token;
    return new (std::nothrow)
        VoiceToken(StandInTokenId(kStandInVoices[0]), FixedVoiceKeyData(kVoiceDisplayName));
}

std::string EspeakVoiceOf(ISpObjectToken* token)
{
    wchar_t* value = nullptr;
    if (!token || FAILED(token->GetStringValue(kEspeakVoiceValue, &value)) || !value)
        return "en";
    std::string voice;
    // eSpeak NG's voice names are ASCII.
    for (const wchar_t* p = value; *p; ++p)
        if (*p < 0x80)
            voice += static_cast<char>(*p);
    CoTaskMemFree(value);
    return voice.empty() ? "en" : voice;
}
