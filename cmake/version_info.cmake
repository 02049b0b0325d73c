# Writes the header that names the program's version: the project's version
# and, when built from a git checkout, its commit ("-dirty" with changes to
# tracked files). Run at every build; the header is rewritten only when
# its text changes, so a new commit rebuilds one file.
# -DSOURCE_DIR=<project root> -DVERSION=<x.y.z> -DOUTPUT=<header>
set(text "${VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND commit)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" diff --quiet HEAD --
                    RESULT_VARIABLE dirty ERROR_QUIET)
    set(text "${VERSION}+g${commit}")
    if(dirty)
      set(text "${text}-dirty")
    endif()
  endif()
endif()
set(content "#pragma once\n#define EBSIM_VERSION_TEXT \"${text}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
