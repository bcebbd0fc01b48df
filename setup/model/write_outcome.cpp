#include "setup/model/write_outcome.h"

#include <cstring>

#include "setup/model/text.h"

const wchar_t kRecoveryNotKeptWarning[] =
    L"The service control manager does not keep the recovery settings (it answers Windows "
    L"error 124 for them), so Windows will not restart the service after a failure. Give "
    L"--restart-on-failure none to leave them out without this warning.";

std::wstring LogonRightGrantedText(const std::wstring& account) {
    return L"Gave the account " + Printable(account) +
           L" the right to log on as a service (SeServiceLogonRight), which it lacked.";
}

std::wstring TakenDisplayNameText(const TakenDisplayName& taken) {
    const std::wstring owner = taken.owner.empty()
                                   ? std::wstring(L"another service, as its name or display name")
                                   : L"the service " + Printable(taken.owner);
    return L"The display name " + Bracketed(taken.displayName) + L" is already used by " + owner +
           L"; give another one with --display-name.";
}

std::wstring InstallFailureText(const std::wstring& name, const InstallFailure& failure,
                                MessageLookup system) {
    std::wstring text = L"Cannot install " + Printable(name) + L": " + failure.step + L". " +
                        WindowsErrorText(failure.error, system) + L"\n";
    if (failure.takenDisplayName) {
        text += TakenDisplayNameText(*failure.takenDisplayName) + L"\n";
    }
    if (failure.leftBehind) {
        return text + L"The service was created but could not be deleted again, so it is left "
                      L"installed. " + WindowsErrorText(failure.removeError, system) +
               L"\nRemove it with: service-wrapper-setup remove \"" + name + L"\"\n";
    }
    if (failure.created) {
        return text + L"The service was deleted again; nothing is left installed.\n";
    }
    return text + L"Nothing was installed.\n";
}

static bool IsPassword(const ConfigChange& change) {
    return std::strcmp(change.field, kPasswordField) == 0;
}

// A password goes with the main write; once that was made, whether
// written back or not, the new password stays.
bool PasswordStays(const std::vector<ConfigChange>& changes, const ChangeFailure& failure) {
    bool stays = failure.passwordLost;
    for (const ConfigChange& change : changes) {
        if (!IsPassword(change)) continue;
        for (ConfigWrite write : failure.restored) stays |= write == change.write;
        for (const auto& unrestored : failure.unrestored) stays |= unrestored.write == change.write;
    }
    return stays;
}

std::wstring WriteFieldsText(const std::vector<ConfigChange>& changes, ConfigWrite write) {
    std::wstring text;
    for (const ConfigChange& change : changes) {
        if (change.write != write || IsPassword(change)) continue;
        text += (text.empty() ? L"" : L", ") + std::wstring(change.label);
    }
    return text;
}

// Every write made was written back: which ones, and that the service is as
// it was.
static std::wstring WrittenBackText(const std::vector<ConfigChange>& changes,
                                    const ChangeFailure& failure, bool passwordStays,
                                    const std::wstring& password) {
    if (failure.restored.empty()) return L"Nothing had been changed yet.\n";
    std::wstring text = L"What had been changed was written back as it was:";
    for (ConfigWrite write : failure.restored) {
        const std::wstring fields = WriteFieldsText(changes, write);
        if (!fields.empty()) text += L" " + fields + L";";
    }
    text.back() = L'.';
    return text + L"\n" + password +
           (passwordStays ? L"The service is as it was before, but for the password.\n"
                          : L"The service is as it was before.\n");
}

// Some writes could not be written back: each of their settings as it is
// now and as it was, and what was written back.
static std::wstring PartChangedText(const std::vector<ConfigChange>& changes,
                                    const ChangeFailure& failure, MessageLookup system) {
    std::wstring text = L"Some of what had been changed could not be written back; the service "
                        L"is now part changed:\n";
    for (const ChangeFailure::Unrestored& unrestored : failure.unrestored) {
        for (const ConfigChange& change : changes) {
            if (change.write != unrestored.write || IsPassword(change)) continue;
            text += std::wstring(L"  ") + change.label + L" is now " + change.newText +
                    L"; it was " + change.oldText + L"\n";
        }
        text += unrestored.error == NO_ERROR
                    ? L"  (what it was could not be read, so it could not be written back)\n"
                    : L"  (" + WindowsErrorText(unrestored.error, system) + L")\n";
    }
    for (ConfigWrite write : failure.restored) {
        const std::wstring fields = WriteFieldsText(changes, write);
        if (!fields.empty()) text += L"  written back as it was: " + fields + L"\n";
    }
    return text;
}

std::wstring ChangeFailureText(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure, MessageLookup system) {
    std::wstring text = L"Cannot change the service " + Printable(name) + L": " + failure.step +
                        L". " + WindowsErrorText(failure.error, system) + L"\n";
    if (failure.takenDisplayName) {
        text += TakenDisplayNameText(*failure.takenDisplayName) + L"\n";
    }
    const bool passwordStays = PasswordStays(changes, failure);
    const std::wstring password =
        passwordStays ? L"The new password stays: Windows gives no way to read the one before, "
                        L"so it could not be written back.\n"
                      : L"";
    if (failure.unrestored.empty()) {
        return text + WrittenBackText(changes, failure, passwordStays, password);
    }
    return text + PartChangedText(changes, failure, system) + password +
           L"Run the same command again, or set these back by hand.\n";
}
