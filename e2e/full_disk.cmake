# Mounts (ACTION=create) or unmounts (ACTION=remove) a small file system at
# C:\wrapper-e2e-full-disk, on which writes fail with ERROR_DISK_FULL once it
# is full, for the launcher's test of a log that cannot be written. Mounting
# needs root; without it the folder stays a plain one and that test says it
# skipped. A new mount point lets everyone write (1777): it is made 755, as
# the prefix's own folders are. WINE_RUN is the script that runs Windows programs.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/wine_c_drive.cmake)
set(disk "${drive}/wrapper-e2e-full-disk")
execute_process(COMMAND umount "${disk}" OUTPUT_QUIET ERROR_QUIET)
file(REMOVE_RECURSE "${disk}")
if(ACTION STREQUAL "remove")
    return()
endif()
file(MAKE_DIRECTORY "${disk}")
execute_process(COMMAND mount -t tmpfs -o size=256k tmpfs "${disk}" RESULT_VARIABLE failed
                ERROR_VARIABLE why)
if(failed)
    message(WARNING "cannot mount a small file system at ${disk}: ${why}")
    return()
endif()
file(CHMOD "${disk}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
