// The environment variables the system gives its services, with which the
// service control manager replaces the %NAME% references of a service's
// command line.
#pragma once

#include <string>
#include <vector>

// "NAME=VALUE" entries: the system's variables alone, without the installing
// person's (CreateEnvironmentBlock for no user). Where that cannot be had,
// this program's own, which hold the system's too.
std::vector<std::wstring> SystemVariables();
