// One life of the service, from registration to the stopped report.
#pragma once

#include "platform/platform.h"

VOID WINAPI ServiceMain(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors);

// Writes the pre-shutdown timeout of the service named serviceName. Failures
// are silent: the service runs on without it.
void ApplyPreshutdownTimeout(DWORD timeoutMs);
