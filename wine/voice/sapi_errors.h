#pragma once
// Result codes of the speech platform that MinGW's sperror.h leaves out.
#include <windows.h>
#include <sperror.h>

#ifndef SPERR_UNINITIALIZED
#define SPERR_UNINITIALIZED ((HRESULT)0x80045001L)
#endif
#ifndef SPERR_ALREADY_INITIALIZED
#define SPERR_ALREADY_INITIALIZED ((HRESULT)0x80045002L)
#endif
#ifndef SPERR_UNSUPPORTED_FORMAT
#define SPERR_UNSUPPORTED_FORMAT ((HRESULT)0x80045003L)
#endif
#ifndef SPERR_STREAM_CLOSED
#define SPERR_STREAM_CLOSED ((HRESULT)0x80045038L)
#endif
#ifndef SPERR_NO_MORE_ITEMS
#define SPERR_NO_MORE_ITEMS ((HRESULT)0x80045039L)
#endif
