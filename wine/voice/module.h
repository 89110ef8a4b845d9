#pragma once
// What the DLL's objects share: the count that decides whether the DLL may be
// unloaded, and the identifiers and constructors of its classes.
#include <windows.h>
#include <objbase.h>
#include <new>

// Every live object and every LockServer(TRUE) holds the module.
void ModuleAddRef();
void ModuleRelease();

// Holds the module for as long as it lives.
class ModuleHold {
public:
    ModuleHold() { ModuleAddRef(); }
    ~ModuleHold() { ModuleRelease(); }
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;
};
// The voice DLL itself, to find what lies beside it.
HINSTANCE ModuleInstance();

// The wave-format identifier of the speech platform (SPDFID_WaveFormatEx); the
// import library leaves it out.
extern const GUID kWaveFormatExId;

// A new object of a class that needs nothing to start, handed out as riid.
template <class Object>
HRESULT CreateObject(REFIID riid, void** ppv)
{
    Object* object = new (std::nothrow) Object;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT CreateVoice(REFIID riid, void** ppv);
HRESULT CreateWavStream(REFIID riid, void** ppv);
HRESULT CreateTokenCategory(REFIID riid, void** ppv);
