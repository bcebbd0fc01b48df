#include "setup/model/write_outcome.h"

#include "setup/model/text.h"

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
        if (failure.takenDisplayName) text += TakenDisplayNameText(*failure.takenDisplayName) + L"\n";
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

std::wstring WriteFieldsText(const std::vector<ConfigChange>& changes, ConfigWrite write) {
    std::wstring text;
    for (const ConfigChange& change : changes) {
        if (change.write != write) continue;
        text += (text.empty() ? L"" : L", ") + std::wstring(change.label);
    }
    return text;
}

std::wstring ChangeFailureText(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure, MessageLookup system) {
    std::wstring text = L"Cannot change the service " + Printable(name) + L": " + failure.step +
                        L". " + WindowsErrorText(failure.error, system) + L"\n";
        if (failure.takenDisplayName) text += TakenDisplayNameText(*failure.takenDisplayName) + L"\n";
    if (failure.unrestored.empty()) {
        if (failure.restored.empty()) return text + L"Nothing had been changed yet.\n";
        text += L"What had been changed was written back as it was:";
        for (ConfigWrite write : failure.restored) {
            text += L" " + WriteFieldsText(changes, write) + L";";
        }
        text.back() = L'.';
        return text + L"\nThe service is as it was before.\n";
    }
    text += L"Some of what had been changed could not be written back; the service is now "
            L"part changed:\n";
    for (const ChangeFailure::Unrestored& unrestored : failure.unrestored) {
        for (const ConfigChange& change : changes) {
            if (change.write != unrestored.write) continue;
            text += std::wstring(L"  ") + change.label + L" is now " + change.newText +
                    L"; it was " + change.oldText + L"\n";
        }
        text += unrestored.error == NO_ERROR
                    ? L"  (what it was could not be read, so it could not be written back)\n"
                    : L"  (" + WindowsErrorText(unrestored.error, system) + L")\n";
    }
    for (ConfigWrite write : failure.restored) {
        text += L"  written back as it was: " + WriteFieldsText(changes, write) + L"\n";
    }
    return text + L"Run the same command again, or set these back by hand.\n";
}
