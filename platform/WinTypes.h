// The Windows base types the component is written in (BOOL, LONG, DWORD, HWND,
// HRESULT, ...), defined for POSIX systems. On Windows the system headers
// provide them and this header only includes <windows.h>.
//
// LONG is the Windows LONG: 32 bits on every platform, unlike C++ `long` on
// 64-bit Linux. Every "long" of the automation and native interfaces is LONG.
//
// unixODBC's <sqltypes.h> defines a few of the same names on its own unless
// ALREADY_HAVE_WINDOWS_TYPE is set; this header sets it and defines them the
// way unixODBC would, so it must come before any ODBC header (platform/Odbc.h
// takes care of that).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

#ifndef ALREADY_HAVE_WINDOWS_TYPE
#define ALREADY_HAVE_WINDOWS_TYPE 1
#endif

#define FAR
#define CALLBACK
#define SQL_API
#define WINAPI
#define STDMETHODCALLTYPE

using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using CHAR = char;
using TCHAR = char;
using BYTE = unsigned char;
using WORD = unsigned short;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using WCHAR = unsigned short;  // as unixODBC declares it (SQLWCHAR)
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPTSTR = TCHAR*;
using LPCTSTR = const TCHAR*;
using LPDWORD = DWORD*;
using LPVOID = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HANDLE = void*;

// Opaque window handle (platform/Window.h); a void* as unixODBC expects.
using HWND = void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LCID = DWORD;
using LANGID = WORD;

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

// Message box types and answers (platform/UserInterface.h).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

#endif  // _WIN32
