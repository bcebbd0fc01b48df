// What became of a service's recovery settings in remove, and the words
// for it: those of the JSON document, and the sentence for a service that
// is still there.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/model/windows_errors.h"

enum class RecoveryClearing {
    Cleared,
    // The manager keeps no recovery settings (ERROR_INVALID_LEVEL), or the
    // service is marked for deletion already, and the manager starts such a
    // service no more.
    NothingToClear,
    NotCleared,  // the clearing failed; the removal went on regardless
};

// What became of the recovery settings of a service that was not deleted.
enum class RecoveryRestore {
    NotNeeded,    // none were cleared, or there were none to lose
    WrittenBack,  // as they were before
    Unknown,      // cleared, but the manager could not report them beforehand
    Failed,       // cleared, and writing them back failed
};

// "cleared", "nothingToClear" or "notCleared".
const char* RecoveryClearingWord(RecoveryClearing recovery);

// "notNeeded", "writtenBack", "unknown" or "failed".
const char* RecoveryRestoreWord(RecoveryRestore restore);

// What became of the recovery settings of a service that is still there,
// as a sentence with a blank before it; empty if nothing needed restoring.
std::wstring RecoveryRestoreText(RecoveryRestore restore, DWORD restoreError,
                                 MessageLookup system);
