#include "setup/model/remove_outcome.h"

const char* RecoveryClearingWord(RecoveryClearing recovery) {
    switch (recovery) {
    case RecoveryClearing::Cleared: return "cleared";
    case RecoveryClearing::NothingToClear: return "nothingToClear";
    case RecoveryClearing::NotCleared: return "notCleared";
    }
    return "unknown";
}

const char* RecoveryRestoreWord(RecoveryRestore restore) {
    switch (restore) {
    case RecoveryRestore::NotNeeded: return "notNeeded";
    case RecoveryRestore::WrittenBack: return "writtenBack";
    case RecoveryRestore::Unknown: return "unknown";
    case RecoveryRestore::Failed: return "failed";
    }
    return "unknown";
}

std::wstring RecoveryRestoreText(RecoveryRestore restore, DWORD restoreError,
                                 MessageLookup system) {
    switch (restore) {
    case RecoveryRestore::NotNeeded: return L"";
    case RecoveryRestore::WrittenBack:
        return L" Its recovery settings were written back as they were.";
    case RecoveryRestore::Unknown:
        return L" Its recovery settings were cleared; the service control manager could not "
               L"report them beforehand, so they could not be written back.";
    case RecoveryRestore::Failed:
        return L" Its recovery settings were cleared and could not be written back (" +
               WindowsErrorText(restoreError, system) + L").";
    }
    return L"";
}
