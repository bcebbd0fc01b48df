// Where a program named by a bare name is found: where the service itself
// would find it, never where the person installing it happens to be.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct SearchFolder {
    std::wstring path;
    const wchar_t* where;  // in words: "the wrapper's folder"
};

// The folders in the order a service looks: the wrapper's own folder, the
// system folder, the Windows folder, then each folder of the system's
// search path as services get it (machinePath: the machine's PATH, its
// references expanded; blanks around a folder and quotation marks dropped,
// empty ones left out). Not the current folder: a service's is the system
// folder, and the installer's is nothing to the service.
std::vector<SearchFolder> ServiceSearchFolders(const std::wstring& wrapperPath,
                                               const std::wstring& systemFolder,
                                               const std::wstring& windowsFolder,
                                               const std::wstring& machinePath);

struct FoundProgram {
    std::wstring path;
    const wchar_t* where;
};

// The file the platform runs for a program named so: ".exe" added to a file
// name without an extension.
std::wstring WithRunExtension(const std::wstring& path);

// The name the system's process list gives a program started so: a batch
// file runs in the command interpreter.
std::wstring ProcessFileName(const std::wstring& path);

// The first file named name (name.exe for a name without an extension, as
// Windows starts it) in those folders, or none.
std::optional<FoundProgram> FindProgram(const std::wstring& name,
                                        const std::vector<SearchFolder>& folders,
                                        const std::function<bool(const std::wstring&)>& isFile);

// "The program ping.exe is C:\Windows\system32\ping.exe, found in the
// system folder as the service would find it; that full path is written."
std::wstring FoundProgramNote(const std::wstring& name, const FoundProgram& found);
