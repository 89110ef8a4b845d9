#include "speech/colour_hook.h"
#include "settings/app_settings.h"
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

// The patch is a 5-byte relative jump. On x86-64 it goes to a relay placed within
// 2 GB of the function, whose absolute jump (jmp [rip+0] and the address) reaches the
// hook wherever it lies; on x86 a relative jump reaches every address, so it goes to
// the hook directly. A short patch matters: the system's function may be a few bytes
// long, and a longer patch would overwrite the function that follows it.
constexpr size_t PatchSize = 5;

using GetSysColorFn = DWORD(WINAPI*)(int);

unsigned char* patchedFunction = nullptr;
unsigned char savedBytes[PatchSize];
unsigned char jumpBytes[PatchSize];

bool WriteCode(const unsigned char* bytes)
{
    SIZE_T written = 0;
    const bool ok = WriteProcessMemory(GetCurrentProcess(), patchedFunction, bytes, PatchSize, &written) &&
                    written == PatchSize;
    FlushInstructionCache(GetCurrentProcess(), patchedFunction, PatchSize);
    return ok;
}

#ifdef _WIN64
constexpr size_t RelaySize = 14;

// Reserves executable memory within reach of a rel32 jump from code.
unsigned char* AllocateNear(unsigned char* code)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const uintptr_t granularity = info.dwAllocationGranularity;
    const uintptr_t origin = reinterpret_cast<uintptr_t>(code) & ~(granularity - 1);
    const uintptr_t reach = 0x70000000;
    for (uintptr_t offset = granularity; offset < reach; offset += granularity) {
        for (const uintptr_t candidate : {origin - offset, origin + offset}) {
            if (candidate < 0x10000)
                continue;
            if (void* memory = VirtualAlloc(reinterpret_cast<void*>(candidate), RelaySize,
                                            MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE))
                return static_cast<unsigned char*>(memory);
        }
    }
    return nullptr;
}
#endif

DWORD WINAPI HookedGetSysColor(int index)
{
    WriteCode(savedBytes);
    const COLORREF systemColour = reinterpret_cast<GetSysColorFn>(patchedFunction)(index);
    const COLORREF answer = ColourHookAnswer(index, systemColour);
    WriteCode(jumpBytes);
    return answer;
}

// An exported entry point may only be a jump to the real body (a thunk, or a short
// forwarder); patching the thunk would overwrite whatever follows it, so follow it.
unsigned char* FollowJumps(unsigned char* code)
{
    for (int hops = 0; hops < 4; ++hops) {
        unsigned char head[6];
        SIZE_T read = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), code, head, sizeof head, &read) || read != sizeof head)
            return nullptr;
        if (head[0] == 0xE9) {
            int32_t rel;
            std::memcpy(&rel, head + 1, 4);
            code = code + 5 + rel;
        } else if (head[0] == 0xFF && head[1] == 0x25) {
            int32_t operand;
            std::memcpy(&operand, head + 2, 4);
            // The address of the jump's target: relative to the next instruction on
            // x86-64, absolute on x86.
#ifdef _WIN64
            const unsigned char* slot = code + 6 + operand;
#else
            const auto* slot = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(static_cast<uint32_t>(operand)));
#endif
            unsigned char* target = nullptr;
            if (!ReadProcessMemory(GetCurrentProcess(), slot, &target, sizeof target, &read) ||
                read != sizeof target)
                return nullptr;
            code = target;
        } else {
            return code;
        }
    }
    return code;
}

// Where the patch's jump goes: the hook, through a relay on x86-64.
unsigned char* JumpDestination(unsigned char* function)
{
    const auto hook = reinterpret_cast<uintptr_t>(&HookedGetSysColor);
#ifdef _WIN64
    unsigned char* relay = AllocateNear(function);
    if (!relay)
        return nullptr;
    relay[0] = 0xFF;
    relay[1] = 0x25;
    std::memset(relay + 2, 0, 4);
    std::memcpy(relay + 6, &hook, sizeof hook);
    FlushInstructionCache(GetCurrentProcess(), relay, RelaySize);
    return relay;
#else
    (void)function;
    return reinterpret_cast<unsigned char*>(hook);
#endif
}

} // namespace

COLORREF ColourHookAnswer(int index, COLORREF systemColour)
{
    if (!AppSettings.showFullText) {
        if (index == COLOR_HIGHLIGHTTEXT)
            return AppSettings.textColour;
        if (index == COLOR_HIGHLIGHT)
            return AppSettings.backgroundColour;
    }
    return systemColour;
}

bool ColourHookInstalled()
{
    return patchedFunction != nullptr;
}

void InstallColourHook()
{
    if (patchedFunction)
        return;
    HMODULE user32 = GetModuleHandleW(L"User32.dll");
    auto* function = user32 ? reinterpret_cast<unsigned char*>(GetProcAddress(user32, "GetSysColor")) : nullptr;
    if (!function)
        return;
    function = FollowJumps(function);
    if (!function)
        return;
    SIZE_T read = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), function, savedBytes, PatchSize, &read) || read != PatchSize)
        return;

    unsigned char* destination = JumpDestination(function);
    if (!destination)
        return;
    jumpBytes[0] = 0xE9;
    // Modulo 2^32: on x86 the jump may wrap around the address space.
    const auto displacement = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(destination) -
                                                    reinterpret_cast<uintptr_t>(function + 5));
    std::memcpy(jumpBytes + 1, &displacement, 4);

    // The code page stays writable: the hook rewrites it on every call.
    DWORD oldProtection = 0;
    if (!VirtualProtect(function, PatchSize, PAGE_EXECUTE_READWRITE, &oldProtection))
        return;
    patchedFunction = function;
    if (!WriteCode(jumpBytes))
        patchedFunction = nullptr;
}
