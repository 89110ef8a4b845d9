#include "platform/high_contrast.h"
#include "platform/log.h"

namespace {

bool SystemHighContrast()
{
    HIGHCONTRASTW state{};
    state.cbSize = sizeof state;
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof state, &state, 0)) {
        static bool told = false;
        if (!told)
            LogFailure(L"SystemParametersInfoW SPI_GETHIGHCONTRAST", GetLastError());
        told = true;
        return false;
    }
    return (state.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HighContrastQuery query = &SystemHighContrast;

} // namespace

bool HighContrastOn()
{
    return query();
}

void SetHighContrastQuery(HighContrastQuery replacement)
{
    query = replacement ? replacement : &SystemHighContrast;
}
