# Writes OUTPUT with the version text: VERSION, and `git describe` of SOURCE
# when it is a checkout (a release tarball has no .git and gives VERSION alone).
set(text "${VERSION}")
if(GIT AND EXISTS "${SOURCE}/.git")
  execute_process(COMMAND "${GIT}" -C "${SOURCE}" describe --always --dirty
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND described)
    set(text "${VERSION} (${described})")
  endif()
endif()
file(WRITE "${OUTPUT}.new"
     "namespace kelvo::apps {\nextern const char* const kVersionText;\nconst char* const kVersionText = \"${text}\";\n}\n")
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.new")
