#pragma once
// What a speech event record owns: the voice hands out events whose parameter is an
// object, a token or memory of its own, and whoever takes the event must free it.
#include <windows.h>
#include <sapi.h>

// Releases what the record owns, by its parameter type, and clears the record.
inline void ReleaseEventParameter(SPEVENT& event)
{
    switch (event.elParamType) {
    case SPET_LPARAM_IS_TOKEN:
    case SPET_LPARAM_IS_OBJECT:
        if (event.lParam)
            reinterpret_cast<IUnknown*>(event.lParam)->Release();
        break;
    case SPET_LPARAM_IS_POINTER:
    case SPET_LPARAM_IS_STRING:
        CoTaskMemFree(reinterpret_cast<void*>(event.lParam));
        break;
    default:
        break;
    }
    event = SPEVENT{};
}
