// An encoder library with the lame_enc interface that writes four marker bytes per
// chunk, for the export's failure and cancel paths. Built twice: complete, and
// without beWriteVBRHeader (FAKE_LAME_INCOMPLETE).
#include <windows.h>
#include <cstring>

namespace {
// A test creates this event to hold the first chunk until it has pressed Cancel.
const wchar_t HoldEventName[] = L"ClipvoceFakeEncoderHold";
bool firstChunk = true;
}

extern "C" {

__declspec(dllexport) void beVersion(BYTE* version)
{
    version[2] = 9;
    version[3] = 42;
}

__declspec(dllexport) unsigned long beInitStream(void*, DWORD* samples, DWORD* outputSize, void** stream)
{
    *samples = 1152;
    *outputSize = 16;
    *stream = reinterpret_cast<void*>(1);
    return 0;
}

__declspec(dllexport) unsigned long beEncodeChunk(void*, DWORD, SHORT*, BYTE* output, DWORD* produced)
{
    if (firstChunk) {
        firstChunk = false;
        if (HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, HoldEventName)) {
            WaitForSingleObject(hold, 20000);
            CloseHandle(hold);
        }
    }
    memcpy(output, "FAKE", 4);
    *produced = 4;
    return 0;
}

__declspec(dllexport) unsigned long beDeinitStream(void*, BYTE*, DWORD* produced)
{
    *produced = 0;
    return 0;
}

__declspec(dllexport) unsigned long beCloseStream(void*)
{
    return 0;
}

#ifndef FAKE_LAME_INCOMPLETE
__declspec(dllexport) unsigned long beWriteVBRHeader(const char*)
{
    return 0;
}
#endif

}
