# Writes the programs' version into OUTPUT at build time: `git describe --tags
# --always --dirty` where SOURCE_DIR is a git checkout and git exists, else
# FALLBACK (the project's version). Without a tag git describes the commit by
# its hash alone; the project's version then goes before it ("2.0.0.4-g1a2b3c4"). The file is rewritten only when the text
# changes, so that an unchanged version rebuilds nothing.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DFALLBACK=... -P tool_version.cmake
set(version "${FALLBACK}")
find_program(git_program git)
if(git_program AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${git_program}" describe --tags --always --dirty
                  WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE described RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND described MATCHES "^[0-9a-f]+(-dirty)?$")
    set(version "${FALLBACK}-g${described}")
  elseif(NOT failed AND NOT described STREQUAL "")
    set(version "${described}")
  endif()
endif()
set(text "// Generated at build time by cmake/tool_version.cmake.\n#include \"app/tool_version.h\"\n\nconst char* const toolVersion = \"${version}\";\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
