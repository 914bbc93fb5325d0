# Writes the source of the version that --version prints (cmake -P, at every build): the
# project's version and, in a git checkout of this very source, the commit. The file is
# rewritten only when its text changes, so an unchanged commit relinks nothing.
#   -DSOURCE_DIR=... -DVERSION=... -DOUT=...
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND)
  # A source tree unpacked inside some other repository must not take that one's commit.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(rc EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=12 --exclude=*
                    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT rc EQUAL 0)
      set(commit "")
    endif()
  endif()
endif()

set(text "${VERSION}")
if(commit)
  string(APPEND text " (git ${commit})")
endif()
file(WRITE "${OUT}.new"
     "// Written at build time by cmake/WriteVersion.cmake.\n"
     "#include \"app/program_version.h\"\n\n"
     "const char kProgramVersion[] = \"${text}\";\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
