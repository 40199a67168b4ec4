// Basic types of the device API, laid out as on the device where the
// application can see them: 16-bit WCHAR, 32-bit DWORD/LONG/BOOL,
// pointer-sized WPARAM/LPARAM/LRESULT, opaque handles.
#pragma once
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define CONST const
#define VOID void

#ifdef __cplusplus
#define PF_EXTERN_C extern "C"
#define PF_BEGIN_DECLS extern "C" {
#define PF_END_DECLS }
#else
#define PF_EXTERN_C
#define PF_BEGIN_DECLS
#define PF_END_DECLS
#endif

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR TCHAR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef uint8_t BYTE;
typedef BYTE* LPBYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int BOOL;
typedef BOOL* LPBOOL;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef long volatile LONG_VOLATILE_NOT_USED;

typedef void* HANDLE;
typedef HANDLE* LPHANDLE;
#define PF_DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__* name
PF_DECLARE_HANDLE(HWND);
PF_DECLARE_HANDLE(HINSTANCE);
PF_DECLARE_HANDLE(HMENU);
PF_DECLARE_HANDLE(HICON);
PF_DECLARE_HANDLE(HDC);
PF_DECLARE_HANDLE(HBRUSH);
PF_DECLARE_HANDLE(HACCEL);
PF_DECLARE_HANDLE(HRSRC);
PF_DECLARE_HANDLE(HFONT);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

#define PF_TEXT(q) u##q
#define TEXT(q) PF_TEXT(q)
#define _T(q) PF_TEXT(q)

#define MAKEWORD(a, b) ((WORD)(((BYTE)((DWORD_PTR)(a) & 0xff)) | ((WORD)((BYTE)((DWORD_PTR)(b) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)((DWORD_PTR)(a) & 0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(b) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l) & 0xffff))
#define HIWORD(l) ((WORD)((DWORD_PTR)(l) >> 16))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w) & 0xff))
#define HIBYTE(w) ((BYTE)((DWORD_PTR)(w) >> 8))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;
