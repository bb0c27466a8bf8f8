# The packages' Maintainer into QUILLON_MAINTAINER. Nobody may be named by a made-up address:
# the maintainer is, as Debian's own tools take it, whoever builds (DEBFULLNAME and DEBEMAIL,
# else the checkout's git identity) until the project sets its own. Taken at every configure,
# as scripts/package runs one before each package build: a builder who sets DEBEMAIL in a tree
# configured before by someone else signs their own packages. A name the packager gives with
# -DQUILLON_MAINTAINER= is kept in the cache and wins.
set(QUILLON_MAINTAINER "" CACHE STRING
    "The packages' Maintainer: \"Name <address>\" (empty: DEBFULLNAME/DEBEMAIL or git's identity, at every configure)")
if(NOT "$CACHE{QUILLON_MAINTAINER}" STREQUAL "")
  set(QUILLON_MAINTAINER "$CACHE{QUILLON_MAINTAINER}")
else()
  set(maintainer_default "")
  if(DEFINED ENV{DEBEMAIL} AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
    set(maintainer_default "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
  else()
    find_package(Git QUIET)
    if(GIT_FOUND)
      execute_process(COMMAND ${GIT_EXECUTABLE} config user.name
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE git_name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      execute_process(COMMAND ${GIT_EXECUTABLE} config user.email
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE git_email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(git_name AND git_email)
        set(maintainer_default "${git_name} <${git_email}>")
      endif()
    endif()
  endif()
  # A machine that names nobody (a fresh build machine) still builds packages, under the team's
  # name, and is told that a release needs a real one.
  if(maintainer_default STREQUAL "")
    set(maintainer_default "Quillon Backup team <team@quillon.example>")
    message(STATUS "Packages: no DEBEMAIL or git identity, Maintainer \"${maintainer_default}\"; "
                   "a release sets QUILLON_MAINTAINER")
  endif()
  set(QUILLON_MAINTAINER "${maintainer_default}")
endif()
if(NOT QUILLON_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(WARNING "QUILLON_MAINTAINER is \"${QUILLON_MAINTAINER}\", not \"Name <address>\": "
                  "the packages cannot be built until it is set")
endif()
