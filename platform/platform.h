// The one door to the operating system. Code in service/ and child/ includes
// this header and nothing of Windows' own: on Windows it brings in the real
// functions, on the host the simulated ones, under the same names.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <sddl.h>
#include <cwchar>

// The runtime's conversion, under its own name. On Windows unsigned long is
// 32 bits wide, which is the range the stop timeout is checked against.
namespace crt {
using ::wcstoul;
}

#else

#include "sim_platform.h"

#endif
