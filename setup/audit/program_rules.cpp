#include "setup/audit/program_rules.h"

#include "child/wrapper_arguments.h"
#include "setup/model/text.h"

namespace {

const wchar_t* const kInterpreters[] = {L"cmd", L"powershell", L"pwsh", L"wscript", L"cscript"};

// What cmd.exe acts on in the line it runs a batch file with. A quotation
// mark ends the quoting the wrapper puts around each argument, since cmd.exe
// knows no \" escape; the rest then act as in any command, and again
// wherever the batch file uses an argument without its quotation marks
// (%~1). Percent signs, and exclamation marks where delayed expansion is on,
// are expanded even inside quotation marks.
struct BatchCharacter {
    wchar_t c;
    const wchar_t* name;
    bool actsInsideQuotes;
};

const BatchCharacter kBatchCharacters[] = {
    {L'"', L"a quotation mark (\")", false},
    {L'&', L"an ampersand (&)", false},
    {L'|', L"a vertical bar (|)", false},
    {L'<', L"a less-than sign (<)", false},
    {L'>', L"a greater-than sign (>)", false},
    {L'^', L"a caret (^)", false},
    {L'%', L"a percent sign (%)", true},
    {L'!', L"an exclamation mark (!)", true},
    {L'(', L"a parenthesis", false},
    {L')', L"a parenthesis", false},
    {L'\r', L"a line break (CR)", true},
    {L'\n', L"a line break (LF)", true},
};

}  // namespace

// The file's name in lower case, without the dots and blanks at its end that
// the platform drops from a path.
static std::wstring FileName(const std::wstring& path) {
    std::wstring name = LowerAscii(FileNameOf(path));
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    return name;
}

static bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The names of the characters of the text that act, once each.
static std::vector<std::wstring> ActingCharacters(const std::wstring& text, bool quoted) {
    std::vector<std::wstring> names;
    for (const BatchCharacter& b : kBatchCharacters) {
        if (quoted && !b.actsInsideQuotes) continue;
        if (text.find(b.c) == std::wstring::npos) continue;
        bool named = false;
        for (const std::wstring& n : names) named = named || n == b.name;
        if (!named) names.push_back(b.name);
    }
    return names;
}

static RuleLevel RefusalFor(ReviewFor reviewFor) {
    return reviewFor == ReviewFor::Install ? RuleLevel::Refusal : RuleLevel::Warning;
}

// The child's line as the wrapper composes it: the program in quotation
// marks, then each argument quoted.
static std::size_t ChildLineLength(const std::wstring& program,
                                   const std::vector<std::wstring>& arguments) {
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) {
        line += L' ';
        AppendQuotedArgument(line, argument.c_str());
    }
    return line.size();
}

static std::wstring WithThousands(std::size_t value) {
    std::wstring digits = std::to_wstring(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
    return digits;
}

bool IsInterpreter(const std::wstring& program) {
    std::wstring name = FileName(program);
    if (EndsWith(name, L".exe")) name.resize(name.size() - 4);
    for (const wchar_t* interpreter : kInterpreters) {
        if (name == interpreter) return true;
    }
    return false;
}

std::optional<RuleFinding> CheckBatchArguments(const std::wstring& program,
                                               const std::vector<std::wstring>& arguments,
                                               ReviewFor reviewFor) {
    if (!NamesBatchFile(program)) return std::nullopt;
    std::vector<std::wstring> problems;
    // The wrapper always quotes the program's path, the launcher wherever
    // cmd.exe would act on it, and a path cannot hold a quotation mark: only
    // what acts inside quotation marks counts there, so that
    // C:\Program Files (x86)\... stays usable.
    std::vector<std::wstring> inPath = ActingCharacters(program, /*quoted=*/true);
    if (!inPath.empty()) problems.push_back(L"its path holds " + JoinWords(inPath));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::vector<std::wstring> names = ActingCharacters(arguments[i], /*quoted=*/false);
        if (names.empty()) continue;
        problems.push_back(L"argument " + std::to_wstring(i + 1) + L" " +
                           Bracketed(arguments[i]) + L" holds " + JoinWords(names));
    }
    const std::wstring batch = L"The program " + Bracketed(program) +
                               L" is a batch file, which Windows runs through cmd.exe; cmd.exe "
                               L"reads its command line by its own rules, not by the quoting the "
                               L"wrapper writes";
    if (problems.empty()) {
        return RuleFinding{RuleLevel::Note, batch + L". None of its arguments holds a character "
                                            L"cmd.exe would act on."};
    }
    return RuleFinding{RefusalFor(reviewFor),
                       batch + L": " + JoinWords(problems) +
                           L", which cmd.exe may read as the end of an argument and the start "
                           L"of a command of its own. Pass such text in a file or a variable "
                           L"instead, or run a program that is not a batch file."};
}

std::optional<RuleFinding> CheckStopReachesOnlyInterpreter(const std::wstring& program,
                                                            bool throughLauncher) {
    // The launcher's job ends every process the program started.
    if (throughLauncher) return std::nullopt;
    std::wstring what;
    if (NamesBatchFile(program)) {
        what = L"is a batch file, run by cmd.exe";
    } else if (IsInterpreter(program)) {
        what = L"is an interpreter";
    } else {
        return std::nullopt;
    }
    return RuleFinding{RuleLevel::Note,
                       L"The program " + Bracketed(program) + L" " + what +
                           L": a stop ends the interpreter, not the programs it started, which "
                           L"keep running. The wrapper ends only its own child."};
}

std::optional<RuleFinding> ReviewCommandLineLength(const ProgramToRun& run, ReviewFor reviewFor) {
    // The child's line is shorter than the service's, which also holds the
    // wrapper and the stop timeout: the service's is the one to check.
    std::size_t length = run.serviceCommandLine.size();
    if (length + 1 > kMostCommandLineCharacters) {
        return RuleFinding{RefusalFor(reviewFor),
                           L"The service's command line is " + WithThousands(length) +
                               L" characters long; Windows starts a process with at most " +
                               WithThousands(kMostCommandLineCharacters - 1) +
                               L" (32,767 with the terminating null), and would cut it."};
    }
    if (!NamesBatchFile(run.program)) return std::nullopt;
    std::size_t child = ChildLineLength(run.program, run.arguments);
    if (child <= kMostBatchCommandCharacters) return std::nullopt;
    return RuleFinding{RefusalFor(reviewFor),
                       L"The batch file's command line is " + WithThousands(child) +
                           L" characters long; cmd.exe, which runs it, reads at most " +
                           WithThousands(kMostBatchCommandCharacters) + L"."};
}

std::wstring DurationInWords(std::uint32_t ms) {
    struct Unit {
        std::uint64_t ms;
        const wchar_t* one;
        const wchar_t* many;
    };
    const Unit kUnits[] = {{86400000, L"day", L"days"},
                           {3600000, L"hour", L"hours"},
                           {60000, L"minute", L"minutes"},
                           {1000, L"second", L"seconds"}};
    const Unit* unit = &kUnits[3];
    for (const Unit& u : kUnits) {
        if (ms >= u.ms) {
            unit = &u;
            break;
        }
    }
    std::uint64_t tenths = (static_cast<std::uint64_t>(ms) * 10 + unit->ms / 2) / unit->ms;
    bool exact = static_cast<std::uint64_t>(ms) * 10 % unit->ms == 0;
    std::wstring number = std::to_wstring(tenths / 10);
    if (tenths % 10 != 0) number += L"." + std::to_wstring(tenths % 10);
    return std::wstring(exact ? L"" : L"about ") + number + L" " +
           (tenths == 10 ? unit->one : unit->many);
}

std::optional<RuleFinding> ReviewStopTimeout(std::uint32_t stopTimeoutMs, ReviewFor reviewFor) {
    if (stopTimeoutMs <= kLongStopTimeoutMs) return std::nullopt;
    std::wstring text = L"The stop timeout is " + std::to_wstring(stopTimeoutMs) + L" ms, " +
                        DurationInWords(stopTimeoutMs);
    if (stopTimeoutMs == 4294967295u) text += L" (the wrapper reads a stop timeout of -1 as this)";
    text += L": every stop of the service, and every shutdown of the machine, may wait that long "
            L"for the program to end.";
    RuleLevel level = reviewFor == ReviewFor::Install ? RuleLevel::Warning : RuleLevel::Note;
    return RuleFinding{level, text};
}

std::vector<RuleFinding> ReviewProgram(const ProgramToRun& run, ReviewFor reviewFor) {
    std::vector<RuleFinding> findings;
    for (const std::optional<RuleFinding>& finding :
         {ReviewCommandLineLength(run, reviewFor),
          CheckBatchArguments(run.program, run.arguments, reviewFor),
          CheckStopReachesOnlyInterpreter(run.program, run.throughLauncher),
          ReviewStopTimeout(run.stopTimeoutMs, reviewFor)}) {
        if (finding) findings.push_back(*finding);
    }
    return findings;
}
