// Exit codes and errors in words, with the platform's messages given as
// the texts Windows and Wine have for them, inserts and all.
#include "setup/model/windows_errors.h"

#include <gtest/gtest.h>

namespace {

std::wstring KnownSystemText(DWORD code) {
    switch (code) {
    case 2: return L"The system cannot find the file specified.";
    case 5: return L"Access is denied.";
    case 193: return L"%1 is not a valid Win32 application.";
    case 7: return L"The storage control blocks were destroyed.";
    default: return L"";
    }
}

std::wstring NtStatusText(DWORD code) {
    switch (code) {
    case 0xC0000005:
        return L"The instruction at 0x%p referenced memory at 0x%p. The memory could not be %s.";
    case 0xC0000409: return L"The system detected an overrun of a stack-based buffer in this application.";
    default: return L"";
    }
}

const MessageLookups kLookups = {KnownSystemText, NtStatusText};

TEST(FillMessageInserts, NeverLeavesARawInsert) {
    const struct {
        std::wstring message;
        std::vector<std::wstring> values;
        std::wstring filled;
    } kCases[] = {
        {L"%1 is not a valid Win32 application.", {L"C:\\p.txt"}, L"C:\\p.txt is not a valid Win32 application."},
        {L"%1 is not a valid Win32 application.", {}, L"is not a valid Win32 application."},
        {L"The file %1 was copied to %2.", {L"a"}, L"The file a was copied to."},
        {L"The %1!s! service depends on %2!ls!.", {L"A", L"B"}, L"The A service depends on B."},
        {L"The instruction at 0x%p referenced memory at 0x%p. The memory could not be %s.", {},
         L"The instruction at referenced memory at. The memory could not be."},
        {L"at 0x%08lx and %I64x and %-5d, %ws", {L"1", L"2", L"3", L"4"}, L"at 0x1 and 2 and 3, 4"},
        {L"100%% done%0 and more", {}, L"100% done"},
        {L"One%ntwo%r%tthree%. %!", {}, L"One two three. !"},
        {L"Insert %10 of ten", {}, L"Insert of ten"},
        {L"A plain text.", {L"unused"}, L"A plain text."},
        {L"Trailing %", {}, L"Trailing %"},
        {L"50% of %", {}, L"50% of %"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.message));
        EXPECT_EQ(FillMessageInserts(c.message, c.values), c.filled);
    }
}

TEST(WindowsErrorText, GivesTheNumberAndTheTextOrSaysThereIsNone) {
    EXPECT_EQ(WindowsErrorText(5, KnownSystemText), L"Windows error 5: Access is denied.");
    EXPECT_EQ(WindowsErrorText(193, KnownSystemText, {L"C:\\p.txt"}),
              L"Windows error 193: C:\\p.txt is not a valid Win32 application.");
    EXPECT_EQ(WindowsErrorText(1234, KnownSystemText), L"Windows error 1234: (Windows has no text for it.)");
}

TEST(ExplainExitCode, ExplainsTheProgramsOwnCodeAndCrashes) {
    const struct {
        DWORD win32;
        DWORD specific;
        bool wrapped;
        std::wstring explained;
    } kCases[] = {
        {1066, 7, true,
         L"1066: the program ended with its own exit code 7 (0x00000007), which as a Windows "
         L"error reads: The storage control blocks were destroyed."},
        {1066, 42, true, L"1066: the program ended with its own exit code 42 (0x0000002A), which "
                         L"as a Windows error reads: no text"},
        {1066, 0xC0000005, true,
         L"1066: the program crashed: it ended with status 3221225477 (0xC0000005), The "
         L"instruction at referenced memory at. The memory could not be."},
        {1066, 0xC0000409, false,
         L"1066: the service crashed: it ended with status 3221226505 (0xC0000409), The system "
         L"detected an overrun of a stack-based buffer in this application."},
        {1066, 0xC0001234, true, L"1066: the program crashed: it ended with status 3221230132 (0xC0001234), no text"},
        {1066, 0xC0000000, true, L"1066: the program crashed: it ended with status 3221225472 (0xC0000000), no text"},
        {1066, 0xE0434352, true, L"1066: the program crashed: it ended with status 3762504530 (0xE0434352), no text"},
        {1066, 0xFFFEFFFF, true, L"1066: the program crashed: it ended with status 4294901759 (0xFFFEFFFF), no text"},
        {1066, 0xFFFFFFFF, true, L"1066: the program ended with its own exit code 4294967295 (0xFFFFFFFF, -1), "
                                 L"which as a Windows error reads: no text"},
        {1066, 0xFFFF0000, false, L"1066: the service ended with its own exit code 4294901760 (0xFFFF0000, "
                                  L"-65536), which as a Windows error reads: no text"},
        {1066, 0xBFFFFFFF, true, L"1066: the program ended with its own exit code 3221225471 "
                                 L"(0xBFFFFFFF), which as a Windows error reads: no text"},
        {0, 0, true, L"0: clean: the program ended by itself, or was stopped"},
        {2, 0, true, L"2: the program was not found"},
        {2, 0, false, L"2: The system cannot find the file specified."},
        {193, 0, true, L"193: C:\\P\\u.exe is not a valid Win32 application."},
        {1077, 0, true, L"1077: no text"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.explained));
        const Started started = c.wrapped ? Started::kByWrapper : Started::kByService;
        EXPECT_EQ(ExplainExitCode(c.win32, c.specific, started, L"C:\\P\\u.exe", kLookups), c.explained);
    }
    // Through the launcher, a code it ends with for its own failures may be one.
    EXPECT_EQ(ExplainExitCode(1066, 2, Started::kByLauncher, L"", kLookups),
              L"1066: the program, or the launcher that runs it, ended with exit code 2 "
              L"(0x00000002), which as a Windows error reads: The system cannot find the file "
              L"specified. The launcher ends with such a code when it cannot make the log folder, "
              L"read the environment file or start the program; its log, if it has one, says which.");
    EXPECT_EQ(ExplainExitCode(1066, 7, Started::kByLauncher, L"", kLookups),
              ExplainExitCode(1066, 7, Started::kByWrapper, L"", kLookups));
    EXPECT_EQ(ExplainExitCode(2, 0, Started::kByLauncher, L"", kLookups), L"2: the launcher was not found");
}

}  // namespace
