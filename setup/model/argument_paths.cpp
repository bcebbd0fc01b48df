#include "setup/model/argument_paths.h"

#include "setup/model/service_command_line.h"

std::vector<std::wstring> PathsInArgument(const std::wstring& argument) {
    std::vector<std::wstring> paths;
    if (IsAbsolutePath(argument)) paths.push_back(argument);
    const std::size_t equals = argument.find(L'=');
    if (equals != std::wstring::npos && IsAbsolutePath(argument.substr(equals + 1))) {
        paths.push_back(argument.substr(equals + 1));
    }
    return paths;
}

NamedPaths PathsNamedByArguments(const std::vector<std::wstring>& arguments,
                                 const std::function<PathKind(const std::wstring&)>& kindOf) {
    NamedPaths named;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        for (const std::wstring& path : PathsInArgument(arguments[i])) {
            const PathKind kind = kindOf(path);
            if (kind == PathKind::File) named.files.push_back(path);
            if (kind == PathKind::Folder) named.folders.push_back({i + 1, path});
        }
    }
    return named;
}
