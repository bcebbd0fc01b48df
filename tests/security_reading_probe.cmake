# Makes (ACTION=create) or removes (ACTION=remove) the files and folders whose
# access lists the Windows reading test checks. Under Wine a file's access
# list comes from its Unix mode, and SetNamedSecurityInfoW changes nothing:
# the modes are set here, from the Unix side. The files go inside the
# prefix's C: drive, whose folders are 755, and not under /tmp, which Wine
# shows as a folder everyone may write (the sticky bit is not mapped).
# WINE_RUN is the script that runs Windows programs; Wine itself says where
# C: is, so that this follows whatever prefix the tests run in.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/wine_c_drive.cmake)
set(probe "${drive}/security_reading_probe")
file(REMOVE_RECURSE "${probe}")
if(ACTION STREQUAL "remove")
    return()
endif()

set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)                     # 644
set(writable ${readable} GROUP_WRITE WORLD_WRITE)                              # 666
set(folder OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
           WORLD_READ WORLD_EXECUTE)                                           # 755
set(open_folder ${folder} GROUP_WRITE WORLD_WRITE)                             # 777

function(probe_folder path)
    file(MAKE_DIRECTORY "${probe}/${path}")
    file(CHMOD "${probe}/${path}" PERMISSIONS ${ARGN})
endfunction()

function(probe_file path text)
    file(WRITE "${probe}/${path}" "${text}")
    file(CHMOD "${probe}/${path}" PERMISSIONS ${ARGN})
endfunction()

probe_folder("" ${folder})
probe_folder(closed ${folder})
probe_file(closed/program.exe "not read as a program here" ${readable})
probe_folder(open_file ${folder})
probe_file(open_file/program.exe "not read as a program here" ${writable})
probe_folder(open_folder ${open_folder})
probe_file(open_folder/program.exe "not read as a program here" ${readable})
probe_folder(open_folder/sub ${folder})
probe_file(open_folder/sub/program.exe "not read as a program here" ${readable})
probe_file(notes.txt "@echo off\r\nrem a batch file, not a program\r\n" ${readable})
probe_file(empty.exe "" ${readable})
# MZ, and an e_lfanew ("AAAA") far past the end of these 64 bytes.
string(REPEAT "x" 58 stub)
probe_file(far_header.exe "MZ${stub}AAAA" ${readable})
