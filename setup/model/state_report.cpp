#include "setup/model/state_report.h"

#include <algorithm>
#include <cwchar>

#include "setup/model/text.h"

using nlohmann::json;

static std::wstring PendingWord(DWORD state) {
    if (state == SERVICE_START_PENDING) return L"start pending";
    if (state == SERVICE_STOP_PENDING) return L"stop pending";
    return StateWord(state);
}

std::wstring PendingLine(const SERVICE_STATUS_PROCESS& status) {
    return L"  " + PendingWord(status.dwCurrentState) + L": checkpoint " +
           std::to_wstring(status.dwCheckPoint) + L", wait hint " +
           std::to_wstring(status.dwWaitHint) + L" ms\n";
}

json PendingJson(const SERVICE_STATUS_PROCESS& status) {
    return {{"state", ToUtf8(StateWord(status.dwCurrentState))},
            {"checkPoint", status.dwCheckPoint},
            {"waitHintMs", status.dwWaitHint}};
}

static std::wstring ProgramText(const ServiceCommandLine& line) {
    if (line.decoded) return Printable(line.program);
    return L"(the command line does not read as the wrapper's; see show) " + Printable(line.text);
}

static std::wstring Padded(std::wstring text, std::size_t width) {
    text.resize(std::max(width, text.size()), L' ');
    return text;
}

std::wstring RenderListText(const std::vector<ListedService>& services) {
    if (services.empty()) return L"No wrapped service is installed.\n";
    std::size_t nameWidth = 4;
    std::size_t stateWidth = 5;
    for (const ListedService& service : services) {
        nameWidth = std::max(nameWidth, Printable(service.name).size());
        stateWidth = std::max(stateWidth, std::wcslen(StateWord(service.status.currentState)));
    }
    std::wstring text = Padded(L"NAME", nameWidth) + L"  " + Padded(L"STATE", stateWidth) +
                        L"  PROGRAM\n";
    for (const ListedService& service : services) {
        text += Padded(Printable(service.name), nameWidth) + L"  " +
                Padded(StateWord(service.status.currentState), stateWidth) + L"  " +
                ProgramText(service.commandLine) + L"\n";
    }
    return text;
}

static std::wstring UnreadMessage(const UnreadService& service) {
    return L"The configuration of the service " + Printable(service.name) +
           L" could not be read, so it is not known whether it is a wrapped service.";
}

std::wstring RenderUnreadText(const std::vector<UnreadService>& unread, MessageLookup system) {
    std::wstring text;
    for (const UnreadService& service : unread) {
        text += NoteLine(UnreadMessage(service) + L" " + WindowsErrorText(service.error, system));
    }
    return text;
}

json ListJson(const std::vector<ListedService>& services,
              const std::vector<UnreadService>& unread, MessageLookup system) {
    json list = json::array();
    for (const ListedService& service : services) {
        const ServiceCommandLine& line = service.commandLine;
        list.push_back({
            {"name", JsonText(service.name)},
            {"displayName", JsonText(service.displayName)},
            {"state", ToUtf8(StateWord(service.status.currentState))},
            {"pid", service.status.processId},
            {"commandLine", JsonText(line.text)},
            {"wrapperPath", line.decoded ? JsonText(line.wrapperPath) : json(nullptr)},
            {"stopTimeoutMs", line.decoded ? json(line.stopTimeoutMs) : json(nullptr)},
            {"program", line.decoded ? JsonText(line.program) : json(nullptr)},
            {"arguments", line.decoded ? JsonTexts(line.arguments) : json(nullptr)},
        });
    }
    json unreadList = json::array();
    for (const UnreadService& service : unread) {
        json entry = ErrorJson(UnreadMessage(service), service.error,
                               FillMessageInserts(system(service.error), {}));
        entry["name"] = JsonText(service.name);
        unreadList.push_back(entry);
    }
    return {{"services", list}, {"unread", unreadList}};
}
