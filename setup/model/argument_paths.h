// The files and folders a program's arguments name by a full path: a
// script an interpreter runs, a module, a configuration file, a data
// folder. A file an argument names is run or read by the program as surely
// as the program itself, so it is audited like the program; a folder is
// often meant to be written by the program, so it is only noted.
#pragma once

#include <functional>
#include <string>
#include <vector>


// The full paths an argument may name: the argument itself, and what
// follows the first = of one such as --config=C:\app\app.conf.
std::vector<std::wstring> PathsInArgument(const std::wstring& argument);

struct NamedFolder {
    std::size_t argument;  // its position among the arguments, from 1
    std::wstring path;
};

struct NamedPaths {
    std::vector<std::wstring> files;
    std::vector<NamedFolder> folders;
};

enum class PathKind { Missing, File, Folder };

// Each path the arguments name that exists, by what kindOf says of it.
NamedPaths PathsNamedByArguments(const std::vector<std::wstring>& arguments,
                                 const std::function<PathKind(const std::wstring&)>& kindOf);
