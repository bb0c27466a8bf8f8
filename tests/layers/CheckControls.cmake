# Checks that the window's controls stay in the Qt front end: no control number (ctl::...), no
# implementation or use of the window's view (IDialogView), no message box or its types, no
# wait cursor and no drawn bar's state in a source outside the folders given. Run as: cmake -DSOURCE_DIR=<src> -DFRONT_END=<folder;folder> -P CheckControls.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR OR NOT FRONT_END)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src> -DFRONT_END=<folders> -P CheckControls.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
string(REPLACE "," ";" FRONT_END "${FRONT_END}")
include("${CMAKE_CURRENT_LIST_DIR}/LinesOutside.cmake")
find_lines_outside("${SOURCE_DIR}" "${FRONT_END}" "ctl::|IDialogView|dialog/DialogView\\.h|MB_[A-Z]+|MessageBox\\(|IDYES|IDNO|WaitCursor|TextProgressState" problems checked)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "The window's controls outside its front end:\n  ${text}")
endif()
message(STATUS "${checked} sources outside the front end name no control")
