// What the benchmark's tests share: the programs they run, as Windows paths
// from the test's command line, and the switch that starts the test binary
// as the probe's target instead.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

extern std::wstring g_minimalServicePath;
extern std::wstring g_floorServicePath;
extern std::wstring g_wrapperPath;
extern std::wstring g_testChildPath;

constexpr const wchar_t* kBeProbed = L"--be-probed";

// The probe's target: takes on threads, handles, memory and CPU time when
// the test that started it says so.
int BeProbed(DWORD parentPid, DWORD index);
