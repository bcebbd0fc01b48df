#include "setup/audit/findings_report.h"

#include "setup/model/text.h"

using nlohmann::json;

void AddRuleFindings(const std::vector<RuleFinding>& findings, CheckFindings& checks) {
    for (const RuleFinding& finding : findings) {
        switch (finding.level) {
        case RuleLevel::Refusal: checks.refusals.push_back(finding.text); break;
        case RuleLevel::Warning: checks.warnings.push_back(finding.text); break;
        case RuleLevel::Note: checks.notes.push_back(finding.text); break;
        }
    }
}

static bool IsPathKind(AuditedKind kind) {
    return kind != AuditedKind::Service && kind != AuditedKind::RegistryKey;
}

bool FindsWritablePaths(const std::vector<AccessFinding>& findings) {
    for (const AccessFinding& finding : findings) {
        if (finding.level == FindingLevel::Warning && IsPathKind(finding.kind)) return true;
    }
    return false;
}

// Said for the log folder alone when that is all a principal may write.
static std::wstring Heading(const AccessFinding& finding, bool onlyLogFolder) {
    const std::wstring what = onlyLogFolder
                                  ? L" may make the service overwrite other files through links "
                                    L"planted in its log folder, with the service's account"
                                  : L" may replace or change what the service runs, with the "
                                    L"service's account";
    if (finding.level == FindingLevel::Warning) {
        return WarningLine(finding.who + what + L", through:");
    }
    return NoteLine(finding.who + what + L", unless it is an administrator's account, through:");
}

static bool SameGroup(const AccessFinding& a, const AccessFinding& b) {
    return a.level == b.level && a.sid == b.sid;
}

static bool OnlyLogFolder(const std::vector<AccessFinding>& findings, const AccessFinding& first) {
    for (const AccessFinding& finding : findings) {
        if (SameGroup(finding, first) && !ConcernsLogFolder(finding.kind)) return false;
    }
    return true;
}

// One level's findings, each principal's under one heading.
static std::wstring LevelText(const std::vector<AccessFinding>& findings, FindingLevel level) {
    std::wstring text;
    std::vector<bool> done(findings.size(), false);
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const AccessFinding& first = findings[i];
        if (done[i] || first.level != level) continue;
        if (first.sid.empty()) {
            text += level == FindingLevel::Warning ? WarningLine(first.text) : NoteLine(first.text);
            continue;
        }
        text += Heading(first, OnlyLogFolder(findings, first));
        for (std::size_t j = i; j < findings.size(); ++j) {
            const AccessFinding& same = findings[j];
            if (done[j] || !SameGroup(same, first)) continue;
            text += L"  " + AuditedObjectText(same.kind, same.object) + L": " + same.rightsText + L"\n";
            done[j] = true;
        }
    }
    return text;
}

std::wstring AccessFindingsText(const std::vector<AccessFinding>& findings) {
    return LevelText(findings, FindingLevel::Warning) + LevelText(findings, FindingLevel::Note);
}

static const char* KindWord(AuditedKind kind) {
    switch (kind) {
    case AuditedKind::File: return "file";
    case AuditedKind::OwnFolder: return "ownFolder";
    case AuditedKind::FolderAbove: return "folderAbove";
    case AuditedKind::Service: return "service";
    case AuditedKind::RegistryKey: break;
    case AuditedKind::LogFolder: return "logFolder";
    case AuditedKind::WorkingFolder: return "workingFolder";
    case AuditedKind::LogFolderAbove: return "logFolderAbove";
    case AuditedKind::WorkingFolderAbove: return "workingFolderAbove";
    }
    return "registryKey";
}

json AccessFindingsJson(const std::vector<AccessFinding>& findings) {
    json list = json::array();
    for (const AccessFinding& finding : findings) {
        const bool read = !finding.sid.empty();
        list.push_back({
            {"level", finding.level == FindingLevel::Warning ? "warning" : "note"},
            {"kind", KindWord(finding.kind)},
            {"object", ToUtf8(finding.object)},
            {"principal", read ? json(ToUtf8(finding.principal)) : json(nullptr)},
            {"sid", read ? json(ToUtf8(finding.sid)) : json(nullptr)},
            {"rights", finding.rights},
            {"rightsText", ToUtf8(finding.rightsText)},
            {"text", ToUtf8(finding.text)},
        });
    }
    return list;
}

std::vector<std::wstring> AccessFindingTexts(const std::vector<AccessFinding>& findings,
                                             FindingLevel level) {
    std::vector<std::wstring> texts;
    for (const AccessFinding& finding : findings) {
        if (finding.level == level) texts.push_back(finding.text);
    }
    return texts;
}

std::wstring CheckFindingsText(const CheckFindings& checks) {
    std::wstring text;
    for (const std::wstring& warning : checks.warnings) text += WarningLine(warning);
    for (const std::wstring& note : checks.notes) text += NoteLine(note);
    return text + AccessFindingsText(checks.access);
}

std::vector<std::wstring> CheckWarningTexts(const CheckFindings& checks) {
    std::vector<std::wstring> texts = checks.warnings;
    for (std::wstring& text : AccessFindingTexts(checks.access, FindingLevel::Warning)) {
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::wstring> CheckNoteTexts(const CheckFindings& checks) {
    std::vector<std::wstring> texts = checks.notes;
    for (std::wstring& text : AccessFindingTexts(checks.access, FindingLevel::Note)) {
        texts.push_back(text);
    }
    return texts;
}
