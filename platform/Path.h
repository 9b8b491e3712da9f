// The runtime's path splitter and builder and its case-blind comparison, as on
// Windows: '/' and '\\' both separate folders, and "X:" at the start is a drive.
#pragma once

#include "platform/Export.h"

#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Splits path into drive ("C:"), folder (up to and including the last separator),
// base name and extension (from the last '.' of the final component). Each out
// pointer may be null; each receives at most its _MAX_* size less one characters.
TESSERA_EXPORT void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);

// Joins the parts into path (at most _MAX_PATH - 1 characters): drive, folder (a
// separator is added when it lacks one), base name, and extension (a '.' is added
// when it lacks one).
TESSERA_EXPORT void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext);

// Compares two strings without regard to ASCII case; <0, 0 or >0.
TESSERA_EXPORT int _mbsicmp(const unsigned char* a, const unsigned char* b);
