# The fuzz corpora replayed in the normal build: each target's entry point
# linked without libFuzzer, run once on every file of fuzz/corpus/<target>/.
function(kelvo_fuzz_replay name source)
  add_executable(${name}-replay ${PROJECT_SOURCE_DIR}/fuzz/${source} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
  target_link_libraries(${name}-replay PRIVATE ${ARGN})
  add_test(NAME FuzzCorpusReplay.${name} COMMAND ${name}-replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(KELVO_SANITIZE)
    set_tests_properties(FuzzCorpusReplay.${name} PROPERTIES ENVIRONMENT_MODIFICATION
      "LSAN_OPTIONS=set:suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  endif()
endfunction()

kelvo_fuzz_replay(fuzz-snapshot-decoder SnapshotDecoderFuzzer.cpp KelvoShared)
kelvo_fuzz_replay(fuzz-car-picture CarPictureFuzzer.cpp KelvoWidget)
kelvo_fuzz_replay(fuzz-feed-payload FeedPayloadFuzzer.cpp kelvo-feed-core)
# The view-tree target reads its input through clang's header-only
# FuzzedDataProvider: copied from clang's resource directory on its own, as
# the rest of that directory is clang's and not for g++.
file(GLOB kelvo_fuzzed_data_provider /usr/lib/llvm-*/lib/clang/*/include/fuzzer/FuzzedDataProvider.h)
if(kelvo_fuzzed_data_provider)
  list(GET kelvo_fuzzed_data_provider 0 header)
  configure_file(${header} ${CMAKE_BINARY_DIR}/fuzz-include/fuzzer/FuzzedDataProvider.h COPYONLY)
  kelvo_fuzz_replay(fuzz-view-tree KelvoUIViewTreeFuzzer.cpp KelvoUI)
  target_include_directories(fuzz-view-tree-replay SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/fuzz-include)
endif()
