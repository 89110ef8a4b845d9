#pragma once
// Images for the tests of copied images: drawn by ImageMagick, copied through the X
// selection as a Linux program copies one, and what was read of them compared.
#include <windows.h>
#include <string>

// Starts a Linux program through Wine; Wine does not wait for one to end.
bool StartUnix(const std::wstring& program, const std::wstring& arguments);
// ImageMagick's convert with arguments draws /tmp/clipvoce-ocr-NAME.png; its Unix path
// once the file is whole (it is drawn under another name first), empty when it is not.
std::wstring Draw(const std::wstring& name, const std::wstring& arguments);
// The PNG file on the X clipboard as image/png, which Wine offers as "PNG".
bool CopyImageFromX(const std::wstring& path);
// Edits (insertions, deletions, substitutions) per character of the expected text, any
// run of blanks and line breaks counted as one blank.
double CharacterErrorRate(const std::wstring& found, const std::wstring& expected);
