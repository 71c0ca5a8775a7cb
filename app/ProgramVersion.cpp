// The program file's version record, read back from the file by the help diagnostics.
#include "VersionNote.h"

KV_VERSION_NOTE(KV_VERSION_MAJOR, KV_VERSION_MINOR, KV_VERSION_PATCH, KV_VERSION_TWEAK);
