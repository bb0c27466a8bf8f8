# cmake -DPROGRAM=<built program> -DSTRIPPED=<file> -DDEBUG_DIR=<folder> -DOBJCOPY=<objcopy>
#       -DREADELF=<readelf> -P SplitDebug.cmake
# Splits a built program into what its package ships and what its -dbgsym package ships: the
# program without symbols, debug information or the compiler's version notes (.comment), linked
# by name and checksum (.gnu_debuglink) to its debug file, which lies in DEBUG_DIR as
# <xx>/<rest>.debug by the program's build ID, where debuggers look for it below
# /usr/lib/debug/.build-id.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${READELF} -n ${PROGRAM}
                OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "${PROGRAM} has no build ID to file its debug information by")
endif()
set(debug ${DEBUG_DIR}/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
file(REMOVE_RECURSE ${DEBUG_DIR})
file(MAKE_DIRECTORY ${DEBUG_DIR}/${CMAKE_MATCH_1})
set(work ${STRIPPED}.work)
execute_process(COMMAND ${OBJCOPY} --remove-section=.comment ${PROGRAM} ${work}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${work} ${debug}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-all --add-gnu-debuglink=${debug} ${work}
                COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${work} ${STRIPPED})
