# Writes the translation template from the code:
#   cmake -DSOURCE_DIR=<repo> -DOUTPUT=<file.pot> -DXGETTEXT=<xgettext> [-DVERSION=x.y.z] -P ExtractTexts.cmake
# The texts are the argument of every L("...") call; the "// TRANSLATORS:"
# comment right above a call becomes the text's note for translators.
foreach(var SOURCE_DIR OUTPUT XGETTEXT)
  if(NOT ${var})
    message(FATAL_ERROR "ExtractTexts.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT VERSION)
  set(VERSION 0)
endif()

set(sources)
foreach(module KelvoShared KelvoUI KelvoWidget apps)
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${module}/*.cpp ${SOURCE_DIR}/${module}/*.h)
  list(APPEND sources ${found})
endforeach()
list(SORT sources)

execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword --keyword=L:1
          --add-comments=TRANSLATORS: --add-location=file --package-name=Kelvo --package-version=${VERSION}
          --output=${OUTPUT} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result
  ERROR_VARIABLE errors)
# xgettext always warns about the missing bug address; only failures matter.
if(NOT result EQUAL 0)
  message(FATAL_ERROR "xgettext failed (${result}): ${errors}")
endif()
