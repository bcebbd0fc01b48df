// The benchmark's on-demand split must be the platform's own and must leave
// shell32 unloaded; this binary imports nothing from shell32, so the calls
// below reach the on-demand slot.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using SplitFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);

static std::vector<std::wstring> Elements(LPWSTR* argv, int count) {
    std::vector<std::wstring> elements(argv, argv + count);
    LocalFree(argv);
    return elements;
}

TEST(SplitOnDemand, GivesThePlatformsElementsAndLeavesShell32Unloaded) {
    ASSERT_EQ(GetModuleHandleW(L"shell32.dll"), nullptr) << "shell32 is loaded from the start";
    const wchar_t* const kLines[] = {
        LR"("C:\Program Files\w\service-wrapper.exe" "0" "C:\x y\child.exe" "a \"b\"" c\\)",
        LR"(w 2000 p "" """a""" x\\\"y)",
        L"",
    };
    for (const wchar_t* line : kLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(line, &count);
        ASSERT_NE(argv, nullptr);
        std::vector<std::wstring> onDemand = Elements(argv, count);
        EXPECT_EQ(GetModuleHandleW(L"shell32.dll"), nullptr) << "shell32 stays loaded";

        HMODULE shell32 = LoadLibraryW(L"shell32.dll");
        ASSERT_NE(shell32, nullptr);
        auto platformSplit = reinterpret_cast<SplitFunction>(
            reinterpret_cast<void*>(GetProcAddress(shell32, "CommandLineToArgvW")));
        ASSERT_NE(platformSplit, nullptr);
        argv = platformSplit(line, &count);
        ASSERT_NE(argv, nullptr);
        EXPECT_EQ(onDemand, Elements(argv, count));
        FreeLibrary(shell32);
    }
}

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
