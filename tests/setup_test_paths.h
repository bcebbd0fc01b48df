// The wrapper and the program that the setup program's tests compose their
// command lines from.
#pragma once

#include <string>

namespace setup_test {

// Each file has a copy of its own, made before the file's own tables.
const std::wstring kWrapper = L"C:\\W\\service-wrapper.exe";
const std::wstring kProgram = L"C:\\P\\u.exe";

}  // namespace setup_test
