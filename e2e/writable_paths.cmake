# Makes (ACTION=create) or removes (ACTION=remove) the copies of a test
# program that the end-to-end tests of the setup program's permission audit
# install: one in a folder everyone may write, one that everyone may write
# itself, and one that only its owner may write. Under Wine a file's access
# list comes from its Unix mode, which a Windows program cannot change: the
# modes are set here, from the Unix side, inside the prefix's C: drive
# (whose folders are 755; /tmp would read as a folder everyone may write).
# WINE_RUN is the script that runs Windows programs, PROGRAM the test program.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/wine_c_drive.cmake)
set(root "${drive}/wrapper-e2e-audit")
file(REMOVE_RECURSE "${root}")
if(ACTION STREQUAL "remove")
    return()
endif()

set(folder OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
           WORLD_READ WORLD_EXECUTE)                                           # 755
set(open_folder ${folder} GROUP_WRITE WORLD_WRITE)                             # 777
set(program ${folder})                                                         # 755
set(open_program OWNER_READ OWNER_WRITE GROUP_READ GROUP_WRITE WORLD_READ WORLD_WRITE)  # 666

function(copy_program folder_name folder_mode program_mode)
    file(MAKE_DIRECTORY "${root}/${folder_name}")
    configure_file("${PROGRAM}" "${root}/${folder_name}/program.exe" COPYONLY)
    file(CHMOD "${root}/${folder_name}/program.exe" PERMISSIONS ${${program_mode}})
    file(CHMOD "${root}/${folder_name}" PERMISSIONS ${${folder_mode}})
endfunction()

file(MAKE_DIRECTORY "${root}")
file(CHMOD "${root}" PERMISSIONS ${folder})
copy_program("open folder" open_folder program)
copy_program("open file" folder open_program)
copy_program("closed" folder program)
