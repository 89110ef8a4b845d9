#include "voice_token.h"
#include "com_ptr.h"
#include "module.h"
#include "sapi_errors.h"
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

const wchar_t kVoiceDisplayName[] = L"Clipvoce Stand-in Voice";
const wchar_t kEspeakVoiceDisplayName[] = L"eSpeak NG English";

namespace {

const wchar_t kTokenId[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\ClipvoceStandIn";

// Case-insensitive, as registry names are.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

struct KeyData {
    std::map<std::wstring, std::wstring, NameLess> values;
    std::map<std::wstring, std::shared_ptr<const KeyData>, NameLess> keys;
};

std::shared_ptr<const KeyData> VoiceKeyData(const wchar_t* displayName)
{
    auto attributes = std::make_shared<KeyData>();
    attributes->values = {{L"Name", displayName}, {L"Gender", L"Female"}, {L"Age", L"Adult"},
                          {L"Language", L"409"}, {L"Vendor", L"Clipvoce"}};
    auto root = std::make_shared<KeyData>();
    // The default value and the one named after the language hold the display name.
    root->values = {{L"", displayName}, {L"409", displayName}};
    root->keys = {{L"Attributes", attributes}};
    return root;
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
    explicit VoiceToken(const wchar_t* displayName) : KeyImpl(VoiceKeyData(displayName)) {}

    STDMETHODIMP SetId(LPCWSTR, LPCWSTR, BOOL) override { return SPERR_ALREADY_INITIALIZED; }
    STDMETHODIMP GetId(LPWSTR* id) override
    {
        if (!id)
            return E_POINTER;
        return CopyString(kTokenId, id);
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
};

} // namespace

ISpObjectToken* NewVoiceToken(const wchar_t* displayName)
{
    return new (std::nothrow) VoiceToken(displayName);
}
