// Replays the fuzz corpora on Windows, where the checks meet the platform's
// own CommandLineToArgvW and the runtime's wcstoul: every input the fuzzers
// kept, on the simulated platform, must hold here too. A difference means the
// simulation (or the model) is wrong about the platform.
//   replay_corpora <folder>...
// Each folder is named after its check: command_line or stop_timeout.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_checks.h"

// A Unix path as Wine's Z: drive shows it.
static std::wstring WindowsPath(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path.size() > 0 && path[0] == L'\\' ? L"Z:" + path : path;
}

static bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.assign(GetFileSize(file, nullptr), 0);
    DWORD read = 0;
    const bool ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                              &read, nullptr);
    CloseHandle(file);
    return ok && read == bytes.size();
}

typedef std::string (*Check)(const std::uint8_t* data, std::size_t size);

// Runs the check on every file of the folder and counts them; returns how
// many failed. A folder without inputs fails too: it would prove nothing.
static int ReplayFolder(const std::wstring& folder, Check check, int& inputs) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        std::printf("replay: cannot read the folder %ls\n", folder.c_str());
        return 1;
    }
    int failures = 0;
    int files = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ++files;
        const std::wstring path = folder + L"\\" + found.cFileName;
        std::vector<std::uint8_t> bytes;
        std::string difference = "cannot be read";
        if (ReadFileBytes(path, bytes)) difference = check(bytes.data(), bytes.size());
        if (difference.empty()) continue;
        std::printf("replay: %ls: %s\n", path.c_str(), difference.c_str());
        ++failures;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    inputs += files;
    if (files > 0) return failures;
    std::printf("replay: no inputs in %ls\n", folder.c_str());
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    int commandLines = 0;
    int timeouts = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring folder = WindowsPath(argv[i]);
        const std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
        if (name == L"command_line") {
            failures += ReplayFolder(folder, CheckChildCommandLine, commandLines);
        } else if (name == L"stop_timeout") {
            failures += ReplayFolder(folder, CheckStopTimeout, timeouts);
        } else {
            std::printf("replay: no check is named %ls\n", name.c_str());
            ++failures;
        }
    }
    const std::string everyUnit = CheckEveryUnit();
    if (!everyUnit.empty()) {
        std::printf("replay: every unit: %s\n", everyUnit.c_str());
        ++failures;
    }
    std::printf("replay: %d command lines, %d stop timeouts and every UTF-16 unit, %d failed\n",
                commandLines, timeouts, failures);
    return failures == 0 ? 0 : 1;
}
