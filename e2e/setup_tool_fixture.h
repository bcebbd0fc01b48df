// The setup program run as a person or a script runs it, through the real
// executable, with what it prints on each stream and the exit code it gives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "e2e/wrapper_service_fixture.h"

struct SetupRun {
    DWORD exitCode;
    std::wstring out;
    std::wstring err;
};

// Success when the phrase is in the text; else both, for the failure message.
testing::AssertionResult Holds(const std::wstring& text, const std::wstring& phrase);

class SetupTool : public WrapperService {
protected:
    // Runs the setup program with these arguments, each quoted for its
    // splitting, with its two output streams in files of their own, and
    // standard input read from a file that holds input, when given (none
    // at all otherwise).
    SetupRun Setup(const std::vector<std::wstring>& arguments,
                   const std::optional<std::string>& input = std::nullopt);

    // A service made directly with CreateServiceW, as by hand.
    void InstallRaw(const std::wstring& binaryPath, DWORD preshutdownMs, size_t service = 0);

    // Empty when there is no service of the test's name.
    std::wstring StoredCommandLine();
    // Whether the service of the test's name is gone within the time. A
    // deleted service goes once nothing holds it any more: under Wine, also
    // its process, which may outlive its stopped report by a moment.
    bool WaitUntilGone(DWORD timeoutMs);
};
