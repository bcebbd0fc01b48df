// What the checks before a write, and show's own, found about the files a
// service runs and the program it starts, and the words and JSON for them:
// the permission audit's findings grouped by whom they concern, the program
// rules' by level.
//
// The words, as the code uses them: a review judges a record or a list and
// touches nothing (ReviewConfiguration, ReviewProgram, ReviewAccess); the
// audit reads who may change what from the platform and reviews it
// (AuditFilesAccess); a check is what a verb makes before it writes, or
// show makes, gathering the findings of both (CheckBeforeWriting).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "setup/audit/access_review.h"
#include "setup/audit/program_rules.h"

struct CheckFindings {
    std::vector<std::wstring> refusals;  // each stops install, apply and set
    std::vector<std::wstring> warnings;  // printed with the report, which goes on
    std::vector<std::wstring> notes;
    std::vector<AccessFinding> access;   // the permission audit's, of every level
    // The folders made for the write, from the top down, the log folder last:
    // removed again when nothing is written.
    std::vector<std::wstring> madeLogFolders;
};

// The program rules' findings, each to the list of its level.
void AddRuleFindings(const std::vector<RuleFinding>& findings, CheckFindings& checks);

// Whether someone the audit warns about may change the wrapper, the program
// or a folder on their paths: install, apply and set refuse then, unless
// told to go on. (The service and its key do not exist yet for install.)
bool FindsWritablePaths(const std::vector<AccessFinding>& findings);

// The findings by level, warnings first, and within a level by principal in
// the order first found: a heading that says who and what that means, then
// one line per object with the rights in words:
//   Warning: Everyone (...) may replace or change what the service runs, ...:
//     the folder [C:\Tools], which holds the file: add files to it, ...
// (the heading says what writing the log folder leads to instead when that
// is all the principal may write).
// A finding with no principal (a list that could not be read) stands alone.
std::wstring AccessFindingsText(const std::vector<AccessFinding>& findings);

// [{"level": "warning"|"note", "kind": "file"|"ownFolder"|"folderAbove"|
// "service"|"registryKey"|"logFolder", "object", "principal", "sid", "rights" (the
// access mask that counts), "rightsText", "text"}]; principal and sid are
// null for a list that could not be read.
nlohmann::json AccessFindingsJson(const std::vector<AccessFinding>& findings);

// The sentences of the findings of one level, for JSON's "warnings" and
// "notes" lists, which hold every warning and note in words.
std::vector<std::wstring> AccessFindingTexts(const std::vector<AccessFinding>& findings,
                                             FindingLevel level);

// "Warning: ...\n" for each warning, "Note: ...\n" for each note, then the
// audit's findings as AccessFindingsText lists them. Refusals are not in it.
std::wstring CheckFindingsText(const CheckFindings& checks);

// Every warning, the audit's sentences after the rules', and every note,
// for JSON.
std::vector<std::wstring> CheckWarningTexts(const CheckFindings& checks);
std::vector<std::wstring> CheckNoteTexts(const CheckFindings& checks);
