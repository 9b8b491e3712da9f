// The Windows scalar types that the toolkit's interfaces are written in.
#pragma once

#include <cstdint>

typedef int BOOL;
typedef unsigned int UINT;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG;
typedef const char* LPCTSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
