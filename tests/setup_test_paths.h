// The wrapper and the program that the setup program's tests compose their
// command lines from.
#pragma once

#include <string>

namespace setup_test {

inline const std::wstring kWrapper = L"C:\\W\\service-wrapper.exe";
inline const std::wstring kProgram = L"C:\\P\\u.exe";

}  // namespace setup_test
