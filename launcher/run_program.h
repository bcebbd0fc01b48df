// The program's process: inside a job that ends every process in it once the
// launcher's handle to it closes, from the moment it exists, so that the
// program and all it starts end with the launcher however the launcher ends.
// Where the system cannot give a job at creation (before Windows 10), it is
// created suspended, put into the job, then resumed. It inherits its standard
// handles and nothing else; its output goes on pipes that reader threads copy
// into the log.
#pragma once

#include <string>

#include "platform/platform.h"

struct ProgramStart {
    std::wstring application;          // the full path of what runs
    std::wstring commandLine;          // what the program reads as its own
    const wchar_t* environment;        // a block, or null for the launcher's own
    std::wstring workingDir;
    bool keepOutput;                   // pipes into the log; else the NUL device
    bool separateStreams;              // a pipe each for standard output and error
    // Called once the program exists, in its job and not yet running, so
    // that what it says comes before anything the program writes; or null.
    void (*created)(const ProgramStart& start, DWORD processId);
};

// Starts the program and its reader threads. Gives NO_ERROR with the
// program's process handle, or the error of the step that failed (and then
// nothing of it runs).
DWORD StartProgram(const ProgramStart& start, HANDLE& process, DWORD& processId);

// Once the program has ended: ends what it left running in its job, then
// lets the readers copy the rest of the pipes, for a bounded time.
void EndProgramTree();
