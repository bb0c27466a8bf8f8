# Checks that a thing stays in the folders that own it: no source below SOURCE_DIR outside INSIDE
# (folders or files relative to SOURCE_DIR, comma-separated) has a line matching the pattern of
# CHECK. With WITHIN=1 the other way round: no source inside INSIDE has one.
# Run as: cmake -DSOURCE_DIR=<src> -DCHECK=<name> -DINSIDE=<a,b> [-DWITHIN=1] -P CheckInside.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR OR NOT CHECK OR NOT INSIDE)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -DCHECK=<name> -DINSIDE=<a,b> [-DWITHIN=1] -P CheckInside.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
string(REPLACE "," ";" INSIDE "${INSIDE}")

if(CHECK STREQUAL "controls")
  # The window's control numbers, its view, message boxes, the wait cursor, a drawn bar's state.
  set(pattern "ctl::|IDialogView|dialog/DialogView\\.h|MB_[A-Z]+|MessageBox\\(|IDYES|IDNO|WaitCursor|TextProgressState")
  set(found_text "The window's controls outside its front end")
  set(clean_text "sources outside the front end name no control")
elseif(CHECK STREQUAL "session_parts")
  # What the session works on: a front end holds the session alone.
  set(pattern "BackupContext|Parts\\(\\)|ctx\\.m_[a-z]")
  set(found_text "A front end reaches into the session's parts")
  set(clean_text "sources of the front ends hold only the session")
elseif(CHECK STREQUAL "last_error")
  # Above the platform a failure travels with its answer, never in a slot a later call may
  # overwrite.
  set(pattern "(Get|Set)LastError\\(")
  set(found_text "The last error is read or set outside the platform layer")
  set(clean_text "sources outside the platform layer leave its last error alone")
elseif(CHECK STREQUAL "disc_calls")
  # The disc writer's verbs followed by "(", after "->" or a writer's ".".
  set(verbs "SetOption[0-9]+|SetVolumeLabel|PrepareWrite|WriteDisc|EraseDisc|AbortWrite|SetDriveState"
            "ResetImage|AddFiles|InitializeWriter|IsWriterDrive|GetMediaType|GetDiscStatus|GetFreeSize"
            "GetCapacitySize|GetUsedSize|SelectDrive|SetWriteSpeed|GetMaxWriteSpeed|CheckMediaFeature"
            "RefreshMedia|GetDriveCount|GetDriveLetter|GetDriveName|SizeToBytes|SetReadBackCheck")
  list(JOIN verbs "|" verbs)
  set(pattern "(->|[wW]riter_?\\.)(${verbs})\\(")
  set(found_text "The disc writer is called outside its drive")
  set(clean_text "sources call the disc writer only through its drive")
elseif(CHECK STREQUAL "link_codes")
  # The remote link's window message and answer codes: the core and the front ends speak its
  # typed requests and answers.
  set(pattern "0x2[Ff]69|PostShareMessage|ShareAnswerCode|kAnswer[A-Z]")
  set(found_text "The link's codes are used outside its adapter")
  set(clean_text "sources outside the link's adapter leave its codes alone")
elseif(CHECK STREQUAL "os_headers")
  # The system's own headers (unistd.h, sys/..., the socket and signal headers and their kin);
  # the C++ library's and the adapters' libraries' headers are fine anywhere.
  set(os_header
      "(unistd|fcntl|poll|netdb|signal|pthread|dirent|termios|dlfcn|sched|spawn|syslog|pwd|grp)\\.h|(sys|netinet|arpa|linux|net|asm)/[^>\"]+")
  set(pattern "^[ \t]*#[ \t]*include[ \t]*[<\"](${os_header})[>\"]")
  set(found_text "The system's own headers outside the platform layer")
  set(clean_text "sources outside the platform layer include no system header")
else()
  message(FATAL_ERROR "no check named ${CHECK}")
endif()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.hpp"
     "${SOURCE_DIR}/*.c" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.cc")
set(problems)
set(checked 0)
foreach(rel ${sources})
  set(inside FALSE)
  foreach(place ${INSIDE})
    string(FIND "${rel}/" "${place}/" at)  # the place itself, or below it
    if(at EQUAL 0)
      set(inside TRUE)
    endif()
  endforeach()
  if((WITHIN AND NOT inside) OR (NOT WITHIN AND inside))
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS "${SOURCE_DIR}/${rel}" lines REGEX "${pattern}")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    list(APPEND problems "${rel}: ${line}")
  endforeach()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no source to check under ${SOURCE_DIR}")
endif()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${found_text}:\n  ${text}")
endif()
message(STATUS "${checked} ${clean_text}")
