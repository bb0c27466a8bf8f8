# Checks that the remote link's wire stays in its adapter: the core and the front ends speak the
# link's typed requests and answers, never its window message (0x2F69) or its answer codes.
# Run as: cmake -DSOURCE_DIR=<src> -P CheckLinkCodes.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -P CheckLinkCodes.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/LinesOutside.cmake")
find_lines_outside("${SOURCE_DIR}" "share" "0x2[Ff]69|PostShareMessage|ShareAnswerCode|kAnswer[A-Z]"
                   problems checked)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The link's codes are used outside its adapter (src/share):\n  ${text}")
endif()
message(STATUS "${checked} sources outside src/share leave the link's codes alone")
