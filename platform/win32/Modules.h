// Win32-shaped calls for loading libraries at run time, the program module's name, the
// system's folders, the desktop and foreground windows, the system locale and file
// version records.
//
// On this machine: a library is a shared object (dlopen); a bare library name is looked
// for in the program's folder first and then in the loader's own search order, as the
// platform looked in the program's folder first. The system folder is the system's
// library folder, the Windows folder the system's /usr. A window handle is the address of
// a top-level Qt window; the desktop has a handle of its own that is no window.
#pragma once

#include "Win32.h"

#include <QString>

using HMODULE = void*;
using HWND = void*;
using FARPROC = void (*)();
using LCID = DWORD;
using LANGID = WORD;

HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
// The full file name of the module (nullptr: the program file) into buffer, cut to
// size - 1 characters; returns the length written (0 on failure).
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
// The temporary folder with a trailing slash ($TMPDIR, else /tmp); returns its length,
// or the size needed when the buffer is too small.
DWORD GetTempPathA(DWORD size, char* buffer);
UINT GetSystemDirectoryA(char* buffer, UINT size);
UINT GetWindowsDirectoryA(char* buffer, UINT size);

// The folder a bare library name is looked for first (the program's folder). Tests point
// it elsewhere; an empty text restores the program's folder.
void SetProgramFolderForTests(const QString& folder);
QString ProgramModuleFolder();

HWND GetDesktopWindow();
// Raises and activates the top-level window whose handle this is; false for any other
// handle.
BOOL SetForegroundWindow(HWND window);
inline HWND WindowHandle(const void* topLevelWidget) { return const_cast<void*>(topLevelWidget); }

// The system locale as a locale ID, from the locale the environment names (LC_ALL,
// LC_MESSAGES, LANG); the C locale counts as English (United States), a language this
// table does not know as neutral.
LCID GetSystemDefaultLCID();
// The locale ID of a locale name such as "de_AT.UTF-8".
LCID LocaleNameToLCID(const QString& name);
constexpr LANGID LANGIDFROMLCID(LCID id) { return static_cast<LANGID>(id & 0xFFFF); }
constexpr WORD PRIMARYLANGID(LANGID id) { return static_cast<WORD>(id & 0x3FF); }
constexpr WORD SUBLANGID(LANGID id) { return static_cast<WORD>(id >> 10); }

// ---- version records ------------------------------------------------------------------
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
};
// Size of the file's version information, 0 when the file has none (or cannot be read).
DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
// Sub-block "\\" gives the fixed file information.
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length);
