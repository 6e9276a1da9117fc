// Modules (shared objects on the machine's drives, loaded with dlopen) and the resources they carry.
// A module is named by its Win32 path, resolved as CreateFile resolves it; its entry point is an
// exported `DllMain`, called under one loader lock for the process and thread notices. Its
// resources are the table it exports (um/resourcetable.h).
#pragma once
#include "um/windef.h"

// HINSTANCE and HMODULE are the window manager's (um/windef.h).
struct HRSRC__ {
    int unused;
};
using HRSRC = HRSRC__*;
using HGLOBAL = HANDLE;
// Windows declares it returning INT_PTR; void here, the one function type that casts to every
// other without a warning, so callers cast it to the export's type as on Windows.
using FARPROC = void(WINAPI*)();
using LANGID = WORD;

// DllMain's reasons.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// A resource named by number: the number in the low word of a name pointer.
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#ifdef UNICODE
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#else
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif

#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01

using DLLMAIN_ROUTINE = BOOL(WINAPI*)(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

extern "C" {
// Loads the module at lpLibFileName (a name relative to the current directory, or a full path;
// "C:\Windows\System32\x.dll"), or counts one more load of a module already loaded from that path.
// The first load runs DllMain(DLL_PROCESS_ATTACH) under the loader lock; FALSE from it unloads the
// module again and fails the call with ERROR_DLL_INIT_FAILED (1114). NULL with ERROR_MOD_NOT_FOUND
// (126) for a missing file, ERROR_BAD_EXE_FORMAT (193) for a file that is not a module.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
// Takes back one load; the last runs DllMain(DLL_PROCESS_DETACH) and unmaps the module. FALSE with
// ERROR_INVALID_HANDLE for a handle that names no loaded module.
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// An exported function or variable by name; NULL with ERROR_PROC_NOT_FOUND (127) when there is none
// (ordinals are not exported by the stand-in's modules), ERROR_INVALID_HANDLE for a bad module.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// A loaded module by its path or its file name ("x.dll", or "x" for "x.dll"), no load counted;
// NULL: the process's own module. NULL with ERROR_MOD_NOT_FOUND when none is loaded.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
// The full Win32 path the module was loaded from (the process's module: "C:\<program name>").
// Characters written without the zero; when nSize is too small, nSize - 1 characters and a zero,
// nSize returned and ERROR_INSUFFICIENT_BUFFER. 0 with ERROR_MOD_NOT_FOUND for a bad module.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// Stops the DLL_THREAD_ATTACH and DLL_THREAD_DETACH notices to the module.
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);

// A resource of the module (NULL: the process's own) by type and name, each a text or a number
// (MAKEINTRESOURCE, or "#<number>"). FindResource takes the language 1033, then neutral (0), then
// any; FindResourceEx takes wLanguage, then neutral (0); wLanguage 0 searches as FindResource.
// NULL with ERROR_RESOURCE_DATA_NOT_FOUND (1812) for a module without resources,
// ERROR_RESOURCE_TYPE_NOT_FOUND (1813), ERROR_RESOURCE_NAME_NOT_FOUND (1814) or
// ERROR_RESOURCE_LANG_NOT_FOUND (1815).
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HRSRC WINAPI FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage);
HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
// The resource's bytes, in the module's own memory (valid while it stays loaded); NULL with
// ERROR_INVALID_HANDLE when hResInfo is not a resource of hModule.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
// The resource's size in bytes; 0 with ERROR_INVALID_HANDLE for a bad pair.
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
// Nothing to free: FALSE (success), as on Windows.
BOOL WINAPI FreeResource(HGLOBAL hResData);
}
