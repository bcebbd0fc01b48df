#include "setup/model/program_search.h"

#include <set>

#include <gtest/gtest.h>

namespace {

const std::vector<SearchFolder> kSearchFolders = ServiceSearchFolders(
    L"C:\\W\\service-wrapper.exe", L"C:\\Windows\\system32", L"C:\\Windows",
    L"C:\\Windows\\system32; \"C:\\Program Files\\Tool\\\" ;;C:\\Bin\\");

TEST(ServiceSearchFolders, AreTheWrappersThenTheSystemsThenTheMachinePathNeverTheCurrent) {
    std::vector<std::wstring> paths;
    for (const SearchFolder& folder : kSearchFolders) paths.push_back(folder.path);
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"C:\\W", L"C:\\Windows\\system32", L"C:\\Windows",
                                                L"C:\\Windows\\system32", L"C:\\Program Files\\Tool",
                                                L"C:\\Bin"}));
}

TEST(FindProgram, TakesTheFirstFolderThatHoldsItAsTheServiceWould) {
    struct FindCase {
        const wchar_t* name;
        std::set<std::wstring> files;
        const wchar_t* path;  // empty: not found
        const wchar_t* where;
    };
    const FindCase kCases[] = {
        {L"ping.exe", {L"C:\\Windows\\system32\\ping.exe", L"C:\\Bin\\ping.exe"},
         L"C:\\Windows\\system32\\ping.exe", L"the system folder"},
        {L"ping", {L"C:\\Bin\\ping.exe"}, L"C:\\Bin\\ping.exe", L"the system's search path"},
        {L"run.bat", {L"C:\\W\\run.bat", L"C:\\Windows\\run.bat"}, L"C:\\W\\run.bat",
         L"the wrapper's folder"},
        {L"tool", {L"C:\\Program Files\\Tool\\tool"}, L"", L""},
        {L"notepad.exe", {L"C:\\Windows\\notepad.exe"}, L"C:\\Windows\\notepad.exe",
         L"the Windows folder"},
        // The installer's current folder is never looked at.
        {L"ping.exe", {L".\\ping.exe", L"C:\\Users\\me\\ping.exe"}, L"", L""},
    };
    for (const FindCase& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const auto isFile = [&](const std::wstring& path) { return c.files.count(path) > 0; };
        const std::optional<FoundProgram> found = FindProgram(c.name, kSearchFolders, isFile);
        EXPECT_EQ(found ? found->path : L"", c.path);
        EXPECT_EQ(found ? std::wstring(found->where) : L"", c.where);
    }
}

}  // namespace

// What runs for a program named without an extension, and what the process
// list then calls it.
TEST(ProgramNames, AddTheExtensionTheSystemAddsAndNameTheInterpreterForBatchFiles) {
    struct Case {
        const wchar_t* program;
        const wchar_t* runs;
        const wchar_t* listedAs;
    } const cases[] = {
        {L"C:\\Tools\\tool", L"C:\\Tools\\tool.exe", L"tool.exe"},
        {L"C:\\Tools.v2\\tool", L"C:\\Tools.v2\\tool.exe", L"tool.exe"},
        {L"C:\\Tools\\tool.v2", L"C:\\Tools\\tool.v2", L"tool.v2"},
        {L"ping.exe", L"ping.exe", L"ping.exe"},
        {L"C:\\Jobs\\nightly.CMD", L"C:\\Jobs\\nightly.CMD", L"cmd.exe"},
        {L"nightly.bat", L"nightly.bat", L"cmd.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.program)));
        EXPECT_EQ(WithRunExtension(c.program), c.runs);
        EXPECT_EQ(ProcessFileName(c.program), c.listedAs);
    }
}
