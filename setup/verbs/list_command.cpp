// list: every wrapped service on the machine, with its state and program.
#include "setup/verbs/commands.h"
#include "setup/windows_messages.h"
#include "setup/model/state_report.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/verb_output.h"

int RunList(bool json) {
    VerbOutput out = NewOutput(json, L"");
    std::vector<ListedService> services;
    std::vector<UnreadService> unread;
    if (auto failure = ListWrappedServices(services, unread)) {
        return Fail(out, L"list the services", failure->problem, failure->error, kExitFailed);
    }

    out.document = ListJson(services, unread, SystemMessageTemplate);
    Say(out, RenderListText(services));
    SayOnErrors(out, RenderUnreadText(unread, SystemMessageTemplate));
    return Finish(out, kExitDone);
}
