#include "setup/model/argument_paths.h"

#include <map>

#include <gtest/gtest.h>

namespace {

TEST(PathsNamedByArguments, FindsFilesAndFoldersNamedByFullPathsAloneOrAfterEquals) {
    const std::map<std::wstring, PathKind> kExisting = {
        {L"C:\\W\\run.bat", PathKind::File},
        {L"C:\\W\\app.conf", PathKind::File},
        {L"\\\\server\\share\\mod.py", PathKind::File},
        {L"D:\\data", PathKind::Folder},
        {L"run.bat", PathKind::File},  // relative: not a path the service is sure of
    };
    const auto kindOf = [&](const std::wstring& path) {
        const auto found = kExisting.find(path);
        return found == kExisting.end() ? PathKind::Missing : found->second;
    };
    const NamedPaths named = PathsNamedByArguments(
        {L"/c", L"C:\\W\\run.bat", L"--config=C:\\W\\app.conf", L"run.bat", L"C:\\W\\gone.txt",
         L"\\\\server\\share\\mod.py", L"--data", L"D:\\data", L"-v=1"},
        kindOf);
    EXPECT_EQ(named.files, (std::vector<std::wstring>{L"C:\\W\\run.bat", L"C:\\W\\app.conf",
                                                      L"\\\\server\\share\\mod.py"}));
    ASSERT_EQ(named.folders.size(), 1u);
    EXPECT_EQ(named.folders[0].argument, 8u);
    EXPECT_EQ(named.folders[0].path, L"D:\\data");
}

}  // namespace
