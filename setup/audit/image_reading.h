// Reading what the program image check judges: the headers of a file, and
// the machine the system is. Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "setup/audit/program_image.h"

// The DOS header, and the PE header wherever the DOS header says it is.
// NO_ERROR; ERROR_DIRECTORY for a folder; else the platform's error. A file
// shorter than a header gives fewer bytes, not an error.
DWORD ReadImageHeaders(const std::wstring& path, ImageHeaders& headers);

// The machine the system itself is, not the one this program was built for
// (an x64 program on ARM64 runs emulated and is told it is on x64 by the
// older calls).
std::uint16_t NativeMachine();
