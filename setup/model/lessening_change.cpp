#include "setup/model/lessening_change.h"

#include <cstring>

#include "setup/model/text.h"

static bool Subset(const std::vector<std::wstring>& fewer, const std::vector<std::wstring>& all) {
    for (const std::wstring& name : fewer) {
        bool found = false;
        for (const std::wstring& other : all) found = found || SameIgnoringCase(name, other);
        if (!found) return false;
    }
    return true;
}

static bool Lessens(const char* field, const ServiceConfig& current, const ServiceConfig& desired) {
    const auto is = [field](const char* name) { return std::strcmp(field, name) == 0; };
    if (is("displayName") || is("description") || is("delayedAutoStart")) return true;
    if (is("startType")) {
        return desired.startType == SERVICE_DISABLED ||
               (desired.startType == SERVICE_DEMAND_START && current.startType != SERVICE_DISABLED);
    }
    if (is("stopTimeoutMs")) {
        return desired.commandLine.stopTimeoutMs < current.commandLine.stopTimeoutMs;
    }
    if (is("preshutdownTimeoutMs")) {
        return current.preshutdownTimeoutMs && desired.preshutdownTimeoutMs &&
               *desired.preshutdownTimeoutMs < *current.preshutdownTimeoutMs;
    }
    if (is("recovery")) return desired.recovery && desired.recovery->actions.empty();
    if (is("failureOnNonZeroExit")) return desired.failureOnNonZeroExit == false;
    if (is("dependencies")) return Subset(desired.dependencies, current.dependencies);
    return false;
}

bool OnlyLessens(const ServiceConfig& current, const ServiceConfig& desired,
                 const std::vector<ConfigChange>& changes) {
    if (changes.empty()) return false;
    for (const ConfigChange& change : changes) {
        if (!Lessens(change.field, current, desired)) return false;
    }
    return true;
}
