# Fails when the committed template no longer matches the code (its texts or
# their notes), when a text has no "// TRANSLATORS:" note, or when a catalog
# misses a text of the template, leaves one empty or fuzzy, or keeps one the
# template no longer has:
#   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<dir> -DXGETTEXT=... -DMSGCMP=... -DLANGUAGES=de,sv -P CheckCatalogs.cmake
set(fresh ${WORK_DIR}/kelvo-fresh.pot)
set(template ${SOURCE_DIR}/po/kelvo.pot)
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DOUTPUT=${fresh} -DXGETTEXT=${XGETTEXT}
          -P ${SOURCE_DIR}/po/ExtractTexts.cmake
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "extracting the texts failed")
endif()

set(failed FALSE)
function(compare definitions reference what)
  execute_process(COMMAND ${MSGCMP} ${ARGN} ${definitions} ${reference} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${what}")
  endif()
endfunction()

compare(${template} ${fresh} "po/kelvo.pot misses texts of the code: build the kelvo-pot target" --use-untranslated)
compare(${fresh} ${template} "po/kelvo.pot has texts the code no longer uses: build the kelvo-pot target"
        --use-untranslated)

# The entries after the header, without the places a text is used (those move
# with the code and mean nothing to a translator).
function(read_entries file out)
  file(READ ${file} text)
  string(FIND "${text}" "\n\n" start)
  string(SUBSTRING "${text}" ${start} -1 text)
  string(REGEX REPLACE "\n#:[^\n]*" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
read_entries(${fresh} fresh_entries)
read_entries(${template} template_entries)
string(REGEX MATCHALL "\n\n(#,[^\n]*\n)?msgid \"[^\n]*\"" unnoted "${fresh_entries}")
if(unnoted)
  message(SEND_ERROR "texts without a \"// TRANSLATORS:\" note right above their L() call:${unnoted}")
elseif(NOT fresh_entries STREQUAL template_entries)
  message(SEND_ERROR "po/kelvo.pot's notes differ from the code's: build the kelvo-pot target")
endif()

string(REPLACE "," ";" LANGUAGES "${LANGUAGES}")
foreach(lang IN LISTS LANGUAGES)
  # Without --use-untranslated/--use-fuzzy, empty and fuzzy entries count as missing.
  compare(${SOURCE_DIR}/po/${lang}.po ${template} "po/${lang}.po does not translate every text of po/kelvo.pot")
  compare(${template} ${SOURCE_DIR}/po/${lang}.po "po/${lang}.po has texts po/kelvo.pot does not have"
          --use-untranslated --use-fuzzy)
endforeach()
