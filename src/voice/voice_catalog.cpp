#include "voice/voice_catalog.h"
#include "platform/log.h"
#include <algorithm>
#include <memory>

namespace {

constexpr wchar_t OneCoreVoices[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech_OneCore\\Voices";

// A text the platform allocated for the caller.
std::wstring TakeTaskText(wchar_t* text)
{
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(text, &CoTaskMemFree);
    return text ? std::wstring(text) : std::wstring();
}

std::wstring DataKeyText(ISpDataKey* key, const wchar_t* name)
{
    wchar_t* text = nullptr;
    if (!key || FAILED(key->GetStringValue(name, &text)))
        return {};
    return TakeTaskText(text);
}

InstalledVoice DescribeVoice(ComPtr<ISpObjectToken> token)
{
    InstalledVoice voice;
    wchar_t* id = nullptr;
    if (SUCCEEDED(token->GetId(&id)))
        voice.id = TakeTaskText(id);
    voice.name = DataKeyText(token.Get(), nullptr);
    ComPtr<ISpDataKey> attributes;
    if (SUCCEEDED(token->OpenKey(L"Attributes", attributes.Out()))) {
        if (voice.name.empty())
            voice.name = DataKeyText(attributes.Get(), L"Name");
        voice.languages = ParseVoiceLanguages(DataKeyText(attributes.Get(), L"Language"));
    }
    voice.token = std::move(token);
    return voice;
}

// The voices of one category, after those already found; a voice of the same name as
// one found (the same voice in both categories) is left out.
void AddCategory(const wchar_t* categoryId, bool mayBeMissing, std::vector<InstalledVoice>& voices)
{
    ComPtr<ISpObjectTokenCategory> category;
    HRESULT result = CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL, IID_ISpObjectTokenCategory,
                                      category.OutVoid());
    if (SUCCEEDED(result))
        result = category->SetId(categoryId, FALSE);
    ComPtr<IEnumSpObjectTokens> tokens;
    if (SUCCEEDED(result))
        result = category->EnumTokens(nullptr, nullptr, tokens.Out());
    if (FAILED(result)) {
        if (!mayBeMissing)
            LogFailure(std::wstring(L"Listing the voices of ") + categoryId, static_cast<DWORD>(result));
        return;
    }
    for (;;) {
        ComPtr<ISpObjectToken> token;
        ULONG fetched = 0;
        if (tokens->Next(1, token.Out(), &fetched) != S_OK || fetched != 1 || !token)
            break;
        InstalledVoice voice = DescribeVoice(std::move(token));
        const bool known = std::any_of(voices.begin(), voices.end(), [&](const InstalledVoice& v) {
            return _wcsicmp(v.id.c_str(), voice.id.c_str()) == 0 || v.name == voice.name;
        });
        // A token without a name is no voice anyone installed (Wine keeps such a one).
        if (!known && !voice.id.empty() && !voice.name.empty())
            voices.push_back(std::move(voice));
    }
}

} // namespace

bool InstalledVoice::Speaks(LanguageId language) const
{
    return language != NoLanguage && std::find(languages.begin(), languages.end(), language) != languages.end();
}

VoiceCatalog::VoiceCatalog(std::vector<InstalledVoice> voices, std::wstring defaultId)
    : voices_(std::move(voices)), defaultId_(std::move(defaultId))
{
}

VoiceCatalog VoiceCatalog::Enumerate(const std::wstring& defaultId)
{
    std::vector<InstalledVoice> voices;
    AddCategory(SPCAT_VOICES, false, voices);
    AddCategory(OneCoreVoices, true, voices);
    return VoiceCatalog(std::move(voices), defaultId);
}

const InstalledVoice* VoiceCatalog::Find(const std::wstring& id) const
{
    if (id.empty())
        return nullptr;
    for (const InstalledVoice& voice : voices_)
        if (_wcsicmp(voice.id.c_str(), id.c_str()) == 0)
            return &voice;
    return nullptr;
}

const InstalledVoice* VoiceCatalog::FirstFor(LanguageId language) const
{
    for (const InstalledVoice& voice : voices_)
        if (voice.Speaks(language))
            return &voice;
    return nullptr;
}

std::vector<LanguageId> VoiceCatalog::Languages() const
{
    std::vector<LanguageId> languages;
    for (const InstalledVoice& voice : voices_)
        for (const LanguageId language : voice.languages)
            if (std::find(languages.begin(), languages.end(), language) == languages.end())
                languages.push_back(language);
    return languages;
}

std::vector<LanguageId> ParseVoiceLanguages(const std::wstring& attribute)
{
    std::vector<LanguageId> languages;
    size_t at = 0;
    while (at < attribute.size()) {
        size_t end = attribute.find(L';', at);
        if (end == std::wstring::npos)
            end = attribute.size();
        const std::wstring part = attribute.substr(at, end - at);
        wchar_t* stop = nullptr;
        const unsigned long value = wcstoul(part.c_str(), &stop, 16);
        const LanguageId language = PRIMARYLANGID(static_cast<LANGID>(value));
        if (!part.empty() && stop && *stop == L'\0' && value <= 0xFFFF && language != NoLanguage &&
            std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.push_back(language);
        at = end + 1;
    }
    return languages;
}

std::wstring VoiceTokenId(ISpVoice* voice)
{
    ComPtr<ISpObjectToken> token;
    wchar_t* id = nullptr;
    if (!voice || FAILED(voice->GetVoice(token.Out())) || !token || FAILED(token->GetId(&id)))
        return {};
    return TakeTaskText(id);
}

std::wstring VoiceLabel(const InstalledVoice& voice)
{
    if (voice.languages.empty())
        return voice.name;
    const std::wstring language = LanguageName(voice.languages.front());
    return language.empty() || voice.name.find(language) != std::wstring::npos ? voice.name
                                                                                 : voice.name + L" (" + language + L")";
}
