#include <windows.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The stand-in voice speaks tones in tests unless a test asks for eSpeak NG: a
    // tone's length is exact on every machine, which timing and rendering checks need.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
