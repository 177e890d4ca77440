# Writes OUTPUT, the header that holds what --version prints: VERSION and,
# in a git checkout, git's description of the commit (with "-dirty" for
# uncommitted changes). The header is only rewritten when its text changes,
# so nothing is rebuilt for a build at the same commit.
execute_process(COMMAND git describe --always --dirty
                WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE description OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  set(description "")
endif()
set(text "#pragma once\n#define PROGRAM_VERSION \"${VERSION}\"\n#define PROGRAM_GIT \"${description}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT text STREQUAL old)
  file(WRITE ${OUTPUT} "${text}")
endif()
