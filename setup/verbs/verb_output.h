// How every verb prints what it has to say: text on standard output as it
// goes, a failure's on the error stream, or, with --json, one JSON document
// on standard output at the end and nothing else there.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "setup/verbs/write_report.h"

// One document on standard output, UTF-8 in a file or a pipe.
void PrintJson(const nlohmann::json& document);

// The verb's output. With json, nothing is printed until Finish, and the
// document holds what the text would have said.
struct VerbOutput {
    bool json;
    std::wstring name;  // the service's; empty for list
    nlohmann::json document;
};

// The document starts as {"name": name}, or {} without a name.
VerbOutput NewOutput(bool json, const std::wstring& name);

// Text for standard output; nothing with json.
void Say(const VerbOutput& out, const std::wstring& text);

// Text for the error stream that is no failure; nothing with json.
void SayOnErrors(const VerbOutput& out, const std::wstring& text);

// "Warning: <text> Windows error N: ..." on the error stream, or an entry
// of the document's "warnings" list.
void Warn(VerbOutput& out, const std::wstring& text, DWORD error);

// "Cannot <verb> the service <name>: <problem> Windows error N: ...<after>"
// on the error stream, or the document's "error" object; error may be
// NO_ERROR. Prints the document, and gives exitCode.
int Fail(VerbOutput& out, const wchar_t* verb, const std::wstring& problem, DWORD error,
         int exitCode, const std::wstring& after = L"");

// The whole message as it is, on the error stream, or as the document's
// "error" object; error may be NO_ERROR. Prints the document, and gives
// exitCode.
int FailWithMessage(VerbOutput& out, const std::wstring& message, DWORD error, int exitCode);

// A report made whole beforehand (install's, apply's and set's, a
// refusal, a failure) as the verb's output: its text now, on the error
// stream for a failure, or its document as the output's.
void Put(VerbOutput& out, const VerbReport& report);

// Prints the document, and gives exitCode.
int Finish(VerbOutput& out, int exitCode);

// Put, then Finish.
int FinishWith(VerbOutput& out, const VerbReport& report, int exitCode);

// The last exit code explained as show explains it, for a service with
// this configured command line.
std::wstring ExplainedExitCode(const SERVICE_STATUS_PROCESS& status,
                               const std::wstring& commandLine);

// The same, ended as a sentence (the platform's words end their own).
std::wstring ExplainedExitSentence(const SERVICE_STATUS_PROCESS& status,
                                  const std::wstring& commandLine);

// A start that ended with the service stopped: "Cannot <verb> the service
// <name>: it stopped again, with exit code <explained>.", or the document's
// "error" object with the exit code as its code. Gives kExitFailed.
int FailStoppedAgain(VerbOutput& out, const wchar_t* verb, const SERVICE_STATUS_PROCESS& status,
                     const std::wstring& commandLine);
