# Checks that only the platform layer asks the operating system itself: no source outside the
# folders given includes one of the system's own headers (unistd.h, sys/..., the socket and
# signal headers and their kin). The C++ library's headers (<cstdio>, <thread>, ...) are fine
# anywhere, and so are those of the adapters' libraries.
# Run as: cmake -DSOURCE_DIR=<src> -DPLATFORM=<folder,folder> -P CheckOsHeaders.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR OR NOT PLATFORM)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -DPLATFORM=<folders> -P CheckOsHeaders.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
string(REPLACE "," ";" PLATFORM "${PLATFORM}")
set(os_header
    "(unistd|fcntl|poll|netdb|signal|pthread|dirent|termios|dlfcn|sched|spawn|syslog|pwd|grp)\\.h|(sys|netinet|arpa|linux|net|asm)/[^>\"]+")
set(include_line "^[ \t]*#[ \t]*include[ \t]*[<\"](${os_header})[>\"]")
include("${CMAKE_CURRENT_LIST_DIR}/LinesOutside.cmake")
find_lines_outside("${SOURCE_DIR}" "${PLATFORM}" "${include_line}" problems checked)
if(checked EQUAL 0)
  message(FATAL_ERROR "no source outside ${PLATFORM} found under ${SOURCE_DIR}")
endif()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The system's own headers outside the platform layer:\n  ${text}")
endif()
message(STATUS "${checked} sources outside the platform layer include no system header")
