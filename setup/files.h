// The files that install and show check: the program, the wrapper, and the
// setup program's own folder.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/model/program_search.h"

// NO_ERROR if the path names an existing file; ERROR_DIRECTORY if it names
// a folder; else the platform's error.
DWORD CheckFile(const std::wstring& path);

bool FileExists(const std::wstring& path);

// Whether two paths name one existing file or folder, however each is spelt
// (.. steps, short names, \\.\ or \\?\ before the drive): the same volume
// and file index. False when either cannot be opened, or its file system
// gives no index.
bool SameFileOnDisk(const std::wstring& a, const std::wstring& b);

// The folder this program was started from.
std::wstring OwnFolder();

// Where a service whose wrapper is at wrapperPath looks for a bare program
// name: its folder, the system folder, the Windows folder, then the
// machine's PATH as the registry keeps it for services, its %NAME%
// references expanded.
std::vector<SearchFolder> ServiceSearchFoldersFor(const std::wstring& wrapperPath);
