// The shell's special folders in the shape the program expects of the system shell:
// a folder number gives an item list, the item list gives a path. On this machine the
// folders are the XDG ones, and the program files folder is the install prefix (or
// the build's folder when the program runs from a build tree).
#pragma once

#include <QString>

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

// The path of a shell folder (CSIDL number); the path keeps its value when the shell
// gives none.
void GetSpecialFolder(int csidl, QString& path);
