#include "platform/language_id.h"
#include <algorithm>
#include <cwctype>

namespace {

std::wstring LocaleText(LanguageId language, LCTYPE type)
{
    wchar_t text[128] = L"";
    const LCID locale = MAKELCID(MAKELANGID(language, SUBLANG_DEFAULT), SORT_DEFAULT);
    if (language == NoLanguage || GetLocaleInfoW(locale, type, text, 128) == 0)
        return {};
    return text;
}

} // namespace

LanguageId LanguageFromTag(const std::wstring& tag)
{
    if (tag.empty())
        return NoLanguage;
    const LCID locale = LocaleNameToLCID(tag.c_str(), 0);
    return locale == 0 ? NoLanguage : PRIMARYLANGID(LANGIDFROMLCID(locale));
}

std::wstring LanguageCode(LanguageId language)
{
    std::wstring code = LocaleText(language, LOCALE_SISO639LANGNAME);
    std::transform(code.begin(), code.end(), code.begin(), [](wchar_t c) { return static_cast<wchar_t>(towupper(c)); });
    return code;
}

std::wstring LanguageName(LanguageId language)
{
    std::wstring name = LocaleText(language, LOCALE_SLOCALIZEDLANGUAGENAME);
    return name.empty() ? LocaleText(language, LOCALE_SENGLISHLANGUAGENAME) : name;
}
