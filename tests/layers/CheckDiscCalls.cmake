# Checks that the disc writer's own calls are made in one place of the programs: the core's
# DiscDrive (and the writer itself, src/disc); everything else asks DiscDrive. The device's calls
# are its verbs followed by "(", after "->" or a writer's ".".
# Run as: cmake -DSOURCE_DIR=<src> -DALLOWED=<file> -P CheckDiscCalls.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR OR NOT ALLOWED)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -DALLOWED=<file> -P CheckDiscCalls.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/LinesOutside.cmake")
set(verbs "SetOption[0-9]+|SetVolumeLabel|PrepareWrite|WriteDisc|EraseDisc|AbortWrite|SetDriveState"
          "ResetImage|AddFiles|InitializeWriter|IsWriterDrive|GetMediaType|GetDiscStatus|GetFreeSize"
          "GetCapacitySize|GetUsedSize|SelectDrive|SetWriteSpeed|GetMaxWriteSpeed|CheckMediaFeature"
          "RefreshMedia|GetDriveCount|GetDriveLetter|GetDriveName|SizeToBytes|SetReadBackCheck")
list(JOIN verbs "|" verbs)
find_lines_outside("${SOURCE_DIR}" "disc" "(->|[wW]riter_?\\.)(${verbs})\\(" found checked)
set(problems)
set(allowed FALSE)
foreach(p ${found})
  # A line holding ";" comes as several items: the ones after the first carry no file name.
  if(p MATCHES "^[A-Za-z0-9_/.]+\\.(h|cpp): ")
    string(FIND "${p}" "${ALLOWED}:" at)
    set(allowed FALSE)
    if(at EQUAL 0)
      set(allowed TRUE)
    endif()
  endif()
  if(NOT allowed)
    list(APPEND problems "${p}")
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The disc writer is called outside ${ALLOWED}:\n  ${text}")
endif()
message(STATUS "${checked} sources call the disc writer only through ${ALLOWED}")
