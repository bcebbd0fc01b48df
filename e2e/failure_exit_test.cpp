// Command lines the wrapper cannot carry out: the manager is told why, and no
// child is started.
#include "e2e/wrapper_service_fixture.h"

#include <algorithm>

using FailureExit = WrapperService;

TEST_F(FailureExit, ReportsWhyTheCommandLineCannotBeCarriedOut) {
    const DWORD kUnchecked = 0xFFFFFFFF;
    struct FailureCase {
        const char* what;
        std::vector<std::wstring> elements;
        std::vector<DWORD> exitCodes;  // any of these
        DWORD preshutdownMs;           // the configuration afterwards
    };
    std::wstring child = PrepareChild("run-forever");
    const FailureCase kCases[] = {
        {"timeout not a number", {L"abc", child}, {ERROR_BAD_ARGUMENTS}, kMarkerPreshutdownMs},
        {"timeout empty", {L"", child}, {ERROR_BAD_ARGUMENTS}, kMarkerPreshutdownMs},
        {"timeout past 32 bits",
         {L"4294967296", child},
         {ERROR_BAD_ARGUMENTS},
         kMarkerPreshutdownMs},
        {"timeout far past 32 bits",
         {L"99999999999999999999", child},
         {ERROR_BAD_ARGUMENTS},
         kMarkerPreshutdownMs},
        {"no program", {L"2500"}, {ERROR_BAD_ARGUMENTS}, kMarkerPreshutdownMs},
        {"nothing but the wrapper", {}, {ERROR_BAD_ARGUMENTS}, kMarkerPreshutdownMs},
        // Quoted verbatim, this one would start the child with an argument
        // of its own choosing.
        {"program holding a quotation mark",
         {L"2500", child + L"\" \"--injected"},
         {ERROR_BAD_ARGUMENTS},
         kUnchecked},
        {"missing program",
         {L"2500", folder_ + L"\\no such program.exe"},
         {ERROR_FILE_NOT_FOUND},
         kUnchecked},
        {"missing folder",
         {L"2500", folder_ + L"\\no such folder\\program.exe"},
         {ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND},
         kUnchecked},  // Wine gives 2
    };
    for (const FailureCase& c : kCases) {
        SCOPED_TRACE(c.what);
        Install(c.elements);
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

        const std::vector<Report>& reports = ServiceReports();
        ASSERT_EQ(reports.size(), 2u) << Seen();
        EXPECT_EQ(Summary(reports[0]), "START_PENDING accepted=0x105 exit=0 cp=1 hint=10000");
        EXPECT_EQ(reports[1].status.dwCurrentState, DWORD(SERVICE_STOPPED));
        DWORD exitCode = reports[1].status.dwWin32ExitCode;
        EXPECT_TRUE(std::find(c.exitCodes.begin(), c.exitCodes.end(), exitCode) !=
                    c.exitCodes.end())
            << Summary(reports[1]);
        EXPECT_EQ(reports[1].status.dwServiceSpecificExitCode, 0u);
        EXPECT_FALSE(ChildStarted());
        DWORD preshutdownMs = 0;
        EXPECT_TRUE(ReadPreshutdownTimeout(manager_, name_, preshutdownMs));
        if (c.preshutdownMs != kUnchecked) {
            EXPECT_EQ(preshutdownMs, c.preshutdownMs);
        }
    }
}
