# Fails unless the executable is what we ship: it imports only DLLs that every
# Windows has (the C++ runtime is inside it, not beside it), it is a console
# program, it takes address-space randomisation (high entropy too) and a
# non-executable stack and heap, and its PE header carries no link time stamp,
# so that two builds of the same sources are the same bytes.
# ALLOWED narrows the DLLs it may import.
#   cmake -DOBJDUMP=... -DEXECUTABLE=... [-DALLOWED=a.dll;b.dll] -P check_release_properties.cmake
cmake_minimum_required(VERSION 3.20)
if(DEFINED ALLOWED)
    set(allowed ${ALLOWED})
else()
    set(allowed advapi32.dll kernel32.dll msvcrt.dll shell32.dll)
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot read ${EXECUTABLE}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "no imports found in ${EXECUTABLE}")
endif()
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST allowed)
        message(FATAL_ERROR "${EXECUTABLE} imports ${dll}, which a clean Windows does not have")
    endif()
    message(STATUS "imports ${dll}")
endforeach()

if(NOT dump MATCHES "\nSubsystem[ \t]+00000003")
    message(FATAL_ERROR "${EXECUTABLE} is not a console program")
endif()

# objdump lists the names of the DllCharacteristics flags that are set.
string(REGEX MATCH "\nDllCharacteristics[^\n]*\n(([ \t]+[A-Z_]+\n)*)" flags "${dump}")
foreach(flag HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT)
    if(NOT flags MATCHES "[ \t]${flag}\n")
        message(FATAL_ERROR "${EXECUTABLE} lacks ${flag}")
    endif()
    message(STATUS "sets ${flag}")
endforeach()

string(REGEX MATCH "\nTime/Date[ \t]+([^\n]*)" stamp "${dump}")
set(stamp "${CMAKE_MATCH_1}")
if(NOT stamp MATCHES "1970$")
    message(FATAL_ERROR "${EXECUTABLE} carries a link time stamp: ${stamp}")
endif()
