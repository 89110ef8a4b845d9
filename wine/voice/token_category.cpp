// SpObjectTokenCategory: the list of the voices in the registry. Wine's own lists only a
// voice of its own, whatever is registered, so the stand-in answers for the category as
// it does for the voice: a program lists the stand-in's voices, and any voice registered
// beside them, as it would on the platform.
#include "com_ptr.h"
#include "module.h"
#include "sapi_errors.h"
#include "voice_token.h"
#include "platform/scoped_handle.h"
#include <sapi.h>
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

HRESULT CopyText(const std::wstring& text, LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*out)
        return E_OUTOFMEMORY;
    memcpy(*out, text.c_str(), bytes);
    return S_OK;
}

// Whether the token's attributes hold every "Name=Value" of the list (parted by ';').
bool HasAttributes(ISpObjectToken* token, const wchar_t* required)
{
    if (!required || !*required)
        return true;
    ComPtr<ISpDataKey> attributes;
    if (FAILED(token->OpenKey(L"Attributes", attributes.Out())))
        return false;
    const std::wstring list = required;
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(L';', at), list.size());
        const std::wstring pair = list.substr(at, end - at);
        at = end + 1;
        if (pair.empty())
            continue;
        const size_t equals = pair.find(L'=');
        const std::wstring name = pair.substr(0, equals);
        wchar_t* value = nullptr;
        if (FAILED(attributes->GetStringValue(name.c_str(), &value)))
            return false;
        const bool matches = equals == std::wstring::npos || _wcsicmp(value, pair.c_str() + equals + 1) == 0;
        CoTaskMemFree(value);
        if (!matches)
            return false;
    }
    return true;
}

class TokenEnum final : public IEnumSpObjectTokens {
public:
    explicit TokenEnum(std::vector<ComPtr<ISpObjectToken>> tokens) : tokens_(std::move(tokens)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumSpObjectTokens)) {
            *ppv = static_cast<IEnumSpObjectTokens*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    STDMETHODIMP Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override
    {
        if (!tokens || (!fetched && count != 1))
            return E_POINTER;
        ULONG given = 0;
        for (; given < count && next_ < tokens_.size(); ++given)
            tokens[given] = ComPtr<ISpObjectToken>(tokens_[next_++]).Detach();
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        next_ = std::min<size_t>(tokens_.size(), next_ + count);
        return next_ < tokens_.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumSpObjectTokens** clone) override
    {
        if (!clone)
            return E_POINTER;
        auto* copy = new (std::nothrow) TokenEnum(tokens_);
        if (!copy)
            return E_OUTOFMEMORY;
        copy->next_ = next_;
        *clone = copy;
        return S_OK;
    }
    STDMETHODIMP Item(ULONG index, ISpObjectToken** token) override
    {
        if (!token)
            return E_POINTER;
        *token = nullptr;
        if (index >= tokens_.size())
            return SPERR_NO_MORE_ITEMS;
        *token = ComPtr<ISpObjectToken>(tokens_[index]).Detach();
        return S_OK;
    }
    STDMETHODIMP GetCount(ULONG* count) override
    {
        if (!count)
            return E_POINTER;
        *count = static_cast<ULONG>(tokens_.size());
        return S_OK;
    }

private:
    ModuleHold module_;
    ComRefCount refs_;
    std::vector<ComPtr<ISpObjectToken>> tokens_;
    size_t next_ = 0;
};

class TokenCategory final : public ISpObjectTokenCategory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISpDataKey) ||
            IsEqualIID(riid, IID_ISpObjectTokenCategory)) {
            *ppv = static_cast<ISpObjectTokenCategory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    // The category's own data is not needed by anyone who only lists its voices.
    STDMETHODIMP SetData(LPCWSTR, ULONG, const BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetData(LPCWSTR, ULONG*, BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP SetStringValue(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetStringValue(LPCWSTR, LPWSTR* value) override
    {
        if (value)
            *value = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetDWORD(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDWORD(LPCWSTR, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP OpenKey(LPCWSTR, ISpDataKey** key) override
    {
        if (key)
            *key = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateKey(LPCWSTR, ISpDataKey** key) override
    {
        if (key)
            *key = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DeleteKey(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteValue(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnumKeys(ULONG, LPWSTR* name) override
    {
        if (name)
            *name = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumValues(ULONG, LPWSTR* name) override
    {
        if (name)
            *name = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP SetId(LPCWSTR id, BOOL) override
    {
        if (!id)
            return E_POINTER;
        if (!id_.empty())
            return SPERR_ALREADY_INITIALIZED;
        HKEY root = nullptr;
        std::wstring path;
        HKEY key = nullptr;
        if (!SplitRegistryPath(id, root, path) || RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return SPERR_NOT_FOUND;
        RegCloseKey(key);
        id_ = id;
        return S_OK;
    }
    STDMETHODIMP GetId(LPWSTR* id) override
    {
        if (id_.empty())
            return SPERR_UNINITIALIZED;
        return CopyText(id_, id);
    }
    STDMETHODIMP GetDataKey(SPDATAKEYLOCATION, ISpDataKey** key) override
    {
        if (key)
            *key = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumTokens(LPCWSTR required, LPCWSTR, IEnumSpObjectTokens** result) override
    {
        if (!result)
            return E_POINTER;
        *result = nullptr;
        if (id_.empty())
            return SPERR_UNINITIALIZED;
        std::vector<ComPtr<ISpObjectToken>> tokens;
        try {
            for (const std::wstring& tokenId : TokenIds()) {
                ComPtr<ISpObjectToken> token = ComPtr<ISpObjectToken>::Adopt(OpenVoiceToken(tokenId));
                if (token && HasAttributes(token.Get(), required))
                    tokens.push_back(std::move(token));
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        *result = new (std::nothrow) TokenEnum(std::move(tokens));
        return *result ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP SetDefaultTokenId(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetDefaultTokenId(LPWSTR* id) override
    {
        if (!id)
            return E_POINTER;
        *id = nullptr;
        const std::wstring found = DefaultVoiceTokenId();
        return found.empty() ? SPERR_NOT_FOUND : CopyText(found, id);
    }

private:
    // The ids of the category's tokens, in the registry's order.
    std::vector<std::wstring> TokenIds() const
    {
        std::vector<std::wstring> ids;
        HKEY root = nullptr;
        std::wstring path;
        HKEY key = nullptr;
        if (!SplitRegistryPath(id_, root, path) ||
            RegOpenKeyExW(root, (path + L"\\Tokens").c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return ids;
        const RegistryKey tokens(key);
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            ids.push_back(id_ + L"\\Tokens\\" + name);
        }
        return ids;
    }

    ModuleHold module_;
    ComRefCount refs_;
    std::wstring id_;
};

} // namespace

HRESULT CreateTokenCategory(REFIID riid, void** ppv)
{
    return CreateObject<TokenCategory>(riid, ppv);
}
