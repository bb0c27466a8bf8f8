# Checks that the thread's last-error slot stays inside the platform layer: above it, a failure
# travels with its answer (platform::Status and the like), never in a slot a later call may
# overwrite.
# Run as: cmake -DSOURCE_DIR=<src> -P CheckLastError.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -P CheckLastError.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/LinesOutside.cmake")
find_lines_outside("${SOURCE_DIR}" "platform" "(Get|Set)LastError\\(" problems checked)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The last error is read or set outside the platform layer:\n  ${text}")
endif()
message(STATUS "${checked} sources outside the platform layer leave its last error alone")
