#include "app/app_state.h"

HINSTANCE appInstance = nullptr;
wchar_t windowTitle[CaptionBufferLength] = L"";
wchar_t appName[CaptionBufferLength] = L"";
HWND speechWindow = nullptr;
HMENU popupMenu = nullptr;
HWND optionsWindow = nullptr;
