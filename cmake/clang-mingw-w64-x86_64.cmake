# Cross build for 64-bit Windows with clang and lld, against Debian's
# MinGW-w64 headers and runtime and the same posix-thread GCC runtime
# (libstdc++, libgcc, winpthreads) that the gcc toolchain file uses.
include(${CMAKE_CURRENT_LIST_DIR}/windows-target.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
# The sysroot keeps the host's /usr/include and /usr/lib out of the search.
set(CMAKE_SYSROOT /usr/x86_64-w64-mingw32)

# clang 14 looks for GCC's files in lib/gcc/x86_64-w64-mingw32/<version> and
# does not read Debian's "12-posix" as a version, so it finds no libstdc++ of
# its own: name the posix-thread GCC's headers and libraries outright.
file(GLOB _wrapper_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
if(NOT _wrapper_gcc_dirs)
    message(FATAL_ERROR "no posix-thread MinGW-w64 GCC in /usr/lib/gcc/x86_64-w64-mingw32 "
                        "(Debian package g++-mingw-w64-x86-64-posix)")
endif()
list(SORT _wrapper_gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(GET _wrapper_gcc_dirs 0 _wrapper_gcc_dir)
set(_wrapper_cxx ${_wrapper_gcc_dir}/include/c++)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${_wrapper_cxx} ${_wrapper_cxx}/x86_64-w64-mingw32 ${_wrapper_cxx}/backward)
# -pthread links winpthreads, which the posix-thread libstdc++ is built on.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_wrapper_gcc_dir} -pthread")
