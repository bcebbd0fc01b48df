// The folder that security_reading_probe.cmake fills, before the reading
// tests run under Wine, with files and folders of chosen Unix modes.
#pragma once

#include <string>

namespace reading_test {

// Each file has a copy of its own, made before the file's own tables.
const std::wstring kProbe = L"C:\\security_reading_probe";

}  // namespace reading_test
