// The files that install and show check: the program, the wrapper, and the
// setup program's own folder.
#pragma once

#include <string>

#include "platform/platform.h"

// NO_ERROR if the path names an existing file; ERROR_DIRECTORY if it names
// a folder; else the platform's error.
DWORD CheckFile(const std::wstring& path);

bool FileExists(const std::wstring& path);

// The folder this program was started from.
std::wstring OwnFolder();

// The full path of the file the platform's search finds for a bare name
// (with ".exe" added when the name has no extension), or the error.
DWORD SearchProgram(const std::wstring& name, std::wstring& fullPath);
