# cmake -DQUILLON_SOURCE_DIR=... -DWORK=DIR -P MaintainerTest.cmake
# One build tree configured again and again, as scripts/package does before each package build:
# the Maintainer follows DEBFULLNAME/DEBEMAIL of each configure, and a name the packager gave
# with -DQUILLON_MAINTAINER= stays whatever the environment says.
file(REMOVE_RECURSE ${WORK})
function(configure expected)
  cmake_parse_arguments(C "" "" "ENV;ARGS" ${ARGN})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DEBFULLNAME --unset=DEBEMAIL ${C_ENV}
            ${CMAKE_COMMAND} -S ${QUILLON_SOURCE_DIR}/tests/package/maintainer -B ${WORK}
            -DQUILLON_SOURCE_DIR=${QUILLON_SOURCE_DIR} ${C_ARGS}
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  file(READ ${WORK}/maintainer.txt got)
  if(NOT status EQUAL 0 OR NOT got STREQUAL expected)
    message(SEND_ERROR "with ${ARGN}: Maintainer \"${got}\", not \"${expected}\" ${errors}")
  endif()
endfunction()

configure("First Builder <first@example.org>"
          ENV "DEBFULLNAME=First Builder" DEBEMAIL=first@example.org)
configure("Second Builder <second@example.org>"
          ENV "DEBFULLNAME=Second Builder" DEBEMAIL=second@example.org)
configure("Release Team <release@example.org>" ENV DEBEMAIL=third@example.org
          ARGS "-DQUILLON_MAINTAINER=Release Team <release@example.org>")
configure("Release Team <release@example.org>" ENV DEBFULLNAME=Fourth DEBEMAIL=fourth@example.org)
file(REMOVE_RECURSE ${WORK})
