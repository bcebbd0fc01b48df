// Programs and arguments that install would accept but that cannot work as
// written, or that work otherwise than a reader expects: each rule with the
// reason it gives, judged from the text alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The most a process is started with, the terminating null included.
constexpr std::size_t kMostCommandLineCharacters = 32767;
// The most cmd.exe reads as one command, which a batch file's line becomes.
constexpr std::size_t kMostBatchCommandCharacters = 8191;
// Longer than this, a stop timeout holds up every stop and every shutdown.
constexpr std::uint32_t kLongStopTimeoutMs = 10 * 60 * 1000;

enum class RuleLevel { Refusal, Warning, Note };

struct RuleFinding {
    RuleLevel level;
    std::wstring text;
};

// install judges what is about to be written; show what is stored, where a
// refusal becomes a warning and a long stop timeout only a note.
enum class ReviewFor { Install, Show };

struct ProgramToRun {
    std::wstring program;  // as the wrapper starts it
    std::vector<std::wstring> arguments;
    std::wstring serviceCommandLine;  // as the manager stores it
    std::uint32_t stopTimeoutMs;
    bool throughLauncher;  // the launcher runs the program, in a job of its own
};

// Every rule below, in this order.
std::vector<RuleFinding> ReviewProgram(const ProgramToRun& run, ReviewFor reviewFor);


// cmd.exe, powershell.exe, pwsh.exe, wscript.exe or cscript.exe, in any folder.
bool IsInterpreter(const std::wstring& program);

// For a batch file: a refusal naming each argument, and the characters in
// it, that cmd.exe would act on; else a note that there are none.
std::optional<RuleFinding> CheckBatchArguments(const std::wstring& program,
                                               const std::vector<std::wstring>& arguments,
                                               ReviewFor reviewFor);

// For an interpreter or a batch file the wrapper runs as its own child
// (--direct): a note that a stop ends only it.
std::optional<RuleFinding> CheckStopReachesOnlyInterpreter(const std::wstring& program,
                                                            bool throughLauncher);

// A refusal for a service command line longer than a process is started
// with, and for a batch file's line longer than cmd.exe reads.
std::optional<RuleFinding> ReviewCommandLineLength(const ProgramToRun& run, ReviewFor reviewFor);

// Over ten minutes: a warning for install, a note for show.
std::optional<RuleFinding> ReviewStopTimeout(std::uint32_t stopTimeoutMs, ReviewFor reviewFor);

// "15 minutes", "1.5 hours", "about 49.7 days".
std::wstring DurationInWords(std::uint32_t ms);
