# libFuzzer target for the view toolkit: random trees laid out and drawn.
if(COMMAND kelvo_fuzzer)
  kelvo_fuzzer(fuzz-view-tree ${CMAKE_CURRENT_LIST_DIR}/KelvoUIViewTreeFuzzer.cpp KelvoUI)
else()
  add_executable(fuzz-view-tree ${CMAKE_CURRENT_LIST_DIR}/KelvoUIViewTreeFuzzer.cpp)
  target_link_libraries(fuzz-view-tree PRIVATE KelvoUI)
  target_link_options(fuzz-view-tree PRIVATE -fsanitize=fuzzer)
endif()
