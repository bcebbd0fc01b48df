// The folder that security_reading_probe.cmake fills, before the reading
// tests run under Wine, with files and folders of chosen Unix modes.
#pragma once

#include <string>

namespace reading_test {

inline const std::wstring kProbe = L"C:\\security_reading_probe";

}  // namespace reading_test
