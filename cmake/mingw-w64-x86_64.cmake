# Cross build for 64-bit Windows with MinGW-w64 (posix thread model, for
# std::thread and std::mutex). Test binaries run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/windows-target.cmake)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
