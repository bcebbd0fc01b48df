# For the scripts (cmake -P) that make test files inside the Wine prefix:
# sets `drive` to the Unix folder that is C: there, as Wine itself says, so
# that the files follow whatever prefix the tests run in. WINE_RUN is the
# script that runs Windows programs.
execute_process(COMMAND ${WINE_RUN} winepath -u "C:\\"
                OUTPUT_VARIABLE drive RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "/+$" "" drive "${drive}")
if(NOT result EQUAL 0 OR NOT IS_DIRECTORY "${drive}")
    message(FATAL_ERROR "Wine did not say where C: is (${result}): '${drive}'")
endif()
