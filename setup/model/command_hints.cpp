#include "setup/model/command_hints.h"

#include "setup/model/text.h"

std::wstring CmdQuoted(const std::wstring& text) {
    std::wstring quoted;
    std::size_t start = 0;
    for (;;) {
        const std::size_t percent = text.find(L'%', start);
        const std::wstring stretch = text.substr(start, percent - start);
        // An empty stretch needs no quotation marks, unless it is the whole text.
        if (!stretch.empty() || text.empty()) quoted += L"\"" + stretch + L"\"";
        if (percent == std::wstring::npos) return quoted;
        quoted += L"^%";
        start = percent + 1;
    }
}

std::wstring StartHint(const std::wstring& name) {
    return L"service-wrapper-setup start " + CmdQuoted(name);
}

std::wstring NotWrappedProblem(const std::wstring& name, const ServiceCommandLine& line,
                               const std::wstring& whatIsDone) {
    if (line.wrapped) return L"";
    const std::wstring problem =
        L"it is not a wrapped service: the file it starts is " + Bracketed(line.managerProgram) +
        L", not service-wrapper.exe, and only wrapped services are " + whatIsDone + L" here.";
    // A quotation mark ends the quoted name early: what followed could read
    // as another service's name, or as a command of its own.
    if (name.find(L'"') != std::wstring::npos) {
        return problem + L" Its name holds a quotation mark, so no command to delete it is "
                         L"given here: with the name quoted wrongly, one could delete another "
                         L"service.";
    }
    return problem + L" To delete it on purpose, run: sc.exe delete " + CmdQuoted(name);
}
