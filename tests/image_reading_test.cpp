// The reading of a file's headers and of the system's machine, under Wine,
// judged by the pure check: this test's own executable, files that
// tests/security_reading_probe.cmake made, a folder and a missing file.
#include "setup/audit/image_reading.h"

#include <gtest/gtest.h>

#include "tests/security_reading_probe.h"

namespace {

using reading_test::kProbe;

std::wstring OwnPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(/*hModule=*/nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

TEST(NativeMachine, IsTheMachineWineRunsOn) {
    EXPECT_EQ(NativeMachine(), kMachineAmd64);
}

struct ReadingCase {
    std::wstring path;
    DWORD error;
    std::size_t dosBytes;
    std::size_t peBytes;
    const wchar_t* problem;  // the start of ProgramImageProblem's answer; empty: a program
};

const ReadingCase kReadingCases[] = {
    {OwnPath(), NO_ERROR, kDosHeaderBytes, kPeHeaderBytes, L""},
    {kProbe + L"\\notes.txt", NO_ERROR, 44, 0, L"is not a Windows program: it does not start"},
    // e_lfanew "AAAA" points far past the file's end.
    {kProbe + L"\\far_header.exe", NO_ERROR, kDosHeaderBytes, 0,
     L"is truncated: it ends before the end of its PE header, which its header says is at byte "
     L"1094795585"},
    {kProbe + L"\\empty.exe", NO_ERROR, 0, 0, L"is an empty file"},
    // The existing file check refuses a folder first; the reading says so too.
    {kProbe, ERROR_DIRECTORY, 0, 0, L""},
    {kProbe + L"\\missing.exe", ERROR_FILE_NOT_FOUND, 0, 0, L""},
};

TEST(ReadImageHeaders, ReadsTheHeadersWhereverTheFileHasThem) {
    for (const ReadingCase& c : kReadingCases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        ImageHeaders headers;
        ASSERT_EQ(ReadImageHeaders(c.path, headers), c.error);
        EXPECT_EQ(headers.dosHeader.size(), c.dosBytes);
        EXPECT_EQ(headers.peHeader.size(), c.peBytes);
        if (c.error != NO_ERROR) continue;
        std::wstring problem = ProgramImageProblem(headers, NativeMachine());
        if (*c.problem == L'\0') {
            EXPECT_EQ(problem, L"");
        } else {
            EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << testing::PrintToString(problem);
        }
    }
}

}  // namespace
