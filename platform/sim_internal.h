// Pieces of the simulated platform shared between its own source files.
#pragma once

#include <string>
#include <vector>

namespace sim {

// Splits a command line exactly as Windows' CommandLineToArgvW does. An empty
// line gives the module path alone, as the platform does.
std::vector<std::wstring> SplitCommandLine(const wchar_t* line, const std::wstring& modulePath);

// Allocation bookkeeping for the operator new that the simulator installs.
namespace detail {
void ResetAllocations();
// Scoped marks: the simulator's own work is not counted as the service's.
void EnterSimulator();
void LeaveSimulator();
void MarkServiceThread();
}  // namespace detail

}  // namespace sim
