// The child's command line, as the child itself splits it.
#include "e2e/wrapper_service_fixture.h"

using ChildCommandLine = WrapperService;

// Each element quoted for the wrapper's splitting arrives in the child exactly
// as configured; the program lives in a folder whose name has spaces, and the
// start parameters given to StartServiceW are the manager's business only.
TEST_F(ChildCommandLine, GivesTheChildEachConfiguredElementUnchanged) {
    const std::vector<std::wstring> kArguments = {
        L"plain",
        L"with space",
        L"",
        L"trailing\\",
        L"two trailing\\\\",
        L"\"quoted\"",
        L"a\"b",
        L"back\\\"slash",
        L"\\\\\"",
        L"a\"\"b",
        L"\"",
        L"\\",
        L"\\\\server\\share\\",
        L"tab\there",
        L"  leading and trailing  ",
        L"^& | < > !",
        L"\u00fcn\u00efc\u00f8d\u00e9 \u65e5\u672c\u8a9e \U0001F600",
    };
    std::wstring child = PrepareChild("exit-now");
    std::vector<std::wstring> elements = {L"2500", child};
    elements.insert(elements.end(), kArguments.begin(), kArguments.end());
    Install(elements);
    Start({L"start-parameter", L"another one"});
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    ChildRecord record;
    ASSERT_TRUE(WaitForRecord(record, 5000)) << Seen();
    std::vector<std::wstring> expected = {child};
    expected.insert(expected.end(), kArguments.begin(), kArguments.end());
    EXPECT_EQ(record.argv, expected) << "the child's command line: " << Narrow(record.commandLine);
}
