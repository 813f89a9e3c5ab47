# Writes the version header: the project's version and, when SOURCE_DIR is the top of
# a git checkout, `git describe` of it. Run at every build; the file is rewritten only
# when its text changes, so an unchanged version rebuilds nothing.
# Input: VERSION, SOURCE_DIR, OUTPUT.
set(description "")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  # A source tree unpacked inside some other checkout is not described by that one.
  if(status EQUAL 0 AND EXISTS "${top}")
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} describe --always --dirty --tags
                      OUTPUT_VARIABLE description OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE status ERROR_QUIET)
      if(NOT status EQUAL 0)
        set(description "")
      endif()
    endif()
  endif()
endif()

set(lines "${VERSION}")
if(description)
  string(APPEND lines "\\nbuilt from git ${description}")
endif()
set(text "// Made at build time by packaging/flash_version.cmake.
#pragma once
#define FLASH_VERSION \"${VERSION}\"
// What --version prints after the program's name: the version, and the git checkout
// it was built from, if any, on a line of its own.
#define FLASH_VERSION_LINES \"${lines}\"
")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
