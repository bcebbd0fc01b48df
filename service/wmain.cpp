#include "service/service_main.h"
#include "service/service_state.h"

// The main thread becomes the dispatcher thread and stays in the dispatcher
// until the service has reported stopped. Started by hand, the dispatcher
// call fails; there is nothing to tell anyone, and the exit code is 0 anyway.
extern "C" int wmain(int /*argc*/, wchar_t** /*argv*/) {
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<LPWSTR>(kDispatchServiceName), ServiceMain},
        {nullptr, nullptr},
    };
    StartServiceCtrlDispatcherW(table);
    return 0;
}
