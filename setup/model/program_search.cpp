#include "setup/model/program_search.h"

#include "setup/model/text.h"

static std::wstring Trimmed(const std::wstring& folder) {
    std::wstring path;
    for (wchar_t c : folder) {
        if (c != L'"') path += c;
    }
    const std::size_t first = path.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return L"";
    path = path.substr(first, path.find_last_not_of(L" \t") + 1 - first);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::vector<SearchFolder> ServiceSearchFolders(const std::wstring& wrapperPath,
                                               const std::wstring& systemFolder,
                                               const std::wstring& windowsFolder,
                                               const std::wstring& machinePath) {
    std::vector<SearchFolder> folders;
    const std::size_t slash = wrapperPath.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        folders.push_back({wrapperPath.substr(0, slash), L"the wrapper's folder"});
    }
    if (!systemFolder.empty()) folders.push_back({systemFolder, L"the system folder"});
    if (!windowsFolder.empty()) folders.push_back({windowsFolder, L"the Windows folder"});
    std::size_t start = 0;
    for (;;) {
        const std::size_t semicolon = machinePath.find(L';', start);
        const std::wstring folder = Trimmed(machinePath.substr(start, semicolon - start));
        if (!folder.empty()) folders.push_back({folder, L"the system's search path"});
        if (semicolon == std::wstring::npos) return folders;
        start = semicolon + 1;
    }
}

std::wstring WithRunExtension(const std::wstring& path) {
    if (FileNameOf(path).find(L'.') != std::wstring::npos) return path;
    return path + L".exe";
}

std::wstring ProcessFileName(const std::wstring& path) {
    const std::wstring name = FileNameOf(WithRunExtension(path));
    const std::size_t dot = name.rfind(L'.');
    const std::wstring extension = LowerAscii(name.substr(dot));
    return extension == L".bat" || extension == L".cmd" ? L"cmd.exe" : name;
}

std::optional<FoundProgram> FindProgram(const std::wstring& name,
                                        const std::vector<SearchFolder>& folders,
                                        const std::function<bool(const std::wstring&)>& isFile) {
    const std::wstring file = WithRunExtension(name);
    for (const SearchFolder& folder : folders) {
        const std::wstring path = folder.path + L"\\" + file;
        if (isFile(path)) return FoundProgram{path, folder.where};
    }
    return std::nullopt;
}

std::wstring FoundProgramNote(const std::wstring& name, const FoundProgram& found) {
    return L"The program " + Bracketed(name) + L" is " + Bracketed(found.path) + L", found in " +
           found.where + L" as the service would find it; that full path is written.";
}
