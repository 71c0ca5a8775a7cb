// The shell's special folders in the shape the program expects of the system shell:
// a folder number gives an item list, the item list gives a path. On this machine the
// folders are the XDG ones, and the program files folder is the install prefix (or
// the build's folder when the program runs from a build tree).
#pragma once

#include "Win32.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Special folder numbers.
constexpr int CSIDL_PERSONAL = 0x0005;        // the user's documents
constexpr int CSIDL_COMMON_APPDATA = 0x0023;  // data shared by the program's users
constexpr int CSIDL_PROGRAM_FILES = 0x0026;   // installed programs

constexpr long S_OK = 0;
constexpr long E_FAIL = static_cast<long>(0x80004005L);
constexpr int MAX_PATH = 260;

// An item list as the shell hands it out; here it carries the folder's path.
struct ITEMIDLIST;

// Gives an item list for the folder (free it with SHFree); E_FAIL for an unknown number.
long SHGetSpecialFolderLocation(void* hwndOwner, int csidl, ITEMIDLIST** ppidl);
// Copies the item list's path into path (MAX_PATH characters with the terminator).
// Returns nonzero on success; a path too long for the buffer fails.
int SHGetPathFromIDListA(const ITEMIDLIST* pidl, char* path);
// Frees an item list from SHGetSpecialFolderLocation (the shell's allocator).
void SHFree(void* pv);

// The folder these calls give for a number, empty for an unknown one.
QString SpecialFolderPath(int csidl);

// ---- Windows paths and the user name ----
// A Windows drive maps to a folder of this machine only when one is set (none by
// default, so a literal "C:\..." path finds nothing); an empty folder removes the map.
void SetDriveFolder(char drive, const QString& folder);
// A Windows path ("C:\Users\x\file") as a path here: the drive's folder followed by the
// rest with '/' separators; empty when the drive has no folder or the path no drive.
QString WindowsPathToLocal(const QString& path);

// The Windows user name is the login name. Copies it with its terminator into buffer
// (*size characters); on success *size is the length with the terminator and the
// result nonzero; a buffer too small fails and *size is the length needed.
int GetUserNameA(char* buffer, DWORD* size);
// Where the user name comes from (tests replace it; an empty function makes the call fail).
extern std::function<QByteArray()> UserNameSource;

// The path of a shell folder (CSIDL number); the path keeps its value when the shell
// gives none.
void GetSpecialFolder(int csidl, QString& path);
