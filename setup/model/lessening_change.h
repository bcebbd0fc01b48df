// Changes that only lessen what a service runs, or when: made even where
// the checks before a write find something to refuse, since they are what
// an administrator does first about a service that has become unsafe.
#pragma once

#include <vector>

#include "setup/model/compare_configs.h"
#include "setup/model/service_config.h"

// Whether there is a change and every change lessens or is only words: a
// start type of disabled, or of demand for an automatic one; the delayed
// start; fewer dependencies; a shorter stop or pre-shutdown timeout;
// recovery off; a non-zero exit no longer a failure; the display name or
// the description. Anything else (the command line, the account, the SID
// type, the privileges, a password) may widen it.
bool OnlyLessens(const ServiceConfig& current, const ServiceConfig& desired,
                 const std::vector<ConfigChange>& changes);
