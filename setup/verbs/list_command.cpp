// list: every wrapped service on the machine, with its state and program.
#include "setup/verbs/commands.h"
#include "setup/console.h"
#include "setup/windows_messages.h"
#include "setup/model/state_report.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/verb_output.h"

int RunList(bool json) {
    VerbOutput out = NewOutput(json, L"");
    SC_HANDLE manager = OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                       SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) {
        return Fail(out, L"list the services", L"cannot open the service control manager.",
                    GetLastError(), kExitFailed);
    }
    std::vector<ListedService> services;
    std::vector<UnreadService> unread;
    const DWORD error = ListWrappedServices(manager, services, unread);
    CloseServiceHandle(manager);
    if (error != NO_ERROR) {
        return Fail(out, L"list the services", L"the manager did not list them.", error,
                    kExitFailed);
    }

    if (json) {
        out.document = ListJson(services, unread, SystemMessageTemplate);
        return Finish(out, kExitDone);
    }
    PrintOut(RenderListText(services));
    PrintError(RenderUnreadText(unread, SystemMessageTemplate));
    return kExitDone;
}
