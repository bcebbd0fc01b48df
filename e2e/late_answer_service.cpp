// A service whose control dispatcher writes its answer to a stop late, to
// show what Wine's manager then answers the caller. Wine runs the dispatcher
// on a thread of its own and lets StartServiceCtrlDispatcherW return as soon
// as the last service reports stopped, so a service that stops at once ends
// its process while the answer may still be unwritten; here it always is.
//
//   e2e_late_answer_service <service name> takes-stop     reports stop-pending from its handler
//   e2e_late_answer_service <service name> says-nothing   reports nothing from its handler
//
// Either way the handler wakes the service thread, which reports stopped.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <string>

namespace {

using WriteFileCall = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

std::wstring g_name;
bool g_reportsStopPending = false;
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
WriteFileCall g_writeFile = nullptr;
volatile DWORD g_answeringThread = 0;

// The dispatcher's writes, held back once it has handled the stop: long
// enough for the service thread to report stopped and the process to end,
// however busy the machine; the end of the process cuts the wait short.
BOOL WINAPI LateWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped) {
    if (GetCurrentThreadId() == g_answeringThread) Sleep(10000);
    return g_writeFile(file, data, size, written, overlapped);
}

// Points sechost.dll's import of WriteFile, through which the dispatcher
// answers, at LateWriteFile.
bool HoldBackAnswers() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(L"sechost.dll"));
    if (!base) return false;
    const LONG headersAt = reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew;
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + headersAt);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; module->Name; ++module) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "WriteFile")) continue;
            DWORD protection = 0;
            const SIZE_T size = sizeof(slot->u1.Function);
            if (!VirtualProtect(&slot->u1.Function, size, PAGE_READWRITE, &protection)) {
                return false;
            }
            g_writeFile = reinterpret_cast<WriteFileCall>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&LateWriteFile);
            VirtualProtect(&slot->u1.Function, size, protection, &protection);
            return true;
        }
    }
    return false;
}

void Report(DWORD state) {
    const DWORD accepted = state == SERVICE_RUNNING ? DWORD(SERVICE_ACCEPT_STOP) : 0;
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, accepted, NO_ERROR, 0, 0, 0};
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handle(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
    g_answeringThread = GetCurrentThreadId();
    if (g_reportsStopPending) Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_status = RegisterServiceCtrlHandlerExW(g_name.c_str(), Handle, nullptr);
    if (!g_status) return;
    Report(SERVICE_START_PENDING);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, INFINITE);
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return ERROR_BAD_ARGUMENTS;
    g_name = argv[1];
    g_reportsStopPending = std::wstring(argv[2]) == L"takes-stop";
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_stop || !HoldBackAnswers()) return ERROR_PROC_NOT_FOUND;
    SERVICE_TABLE_ENTRYW table[] = {{&g_name[0], ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : int(GetLastError());
}
