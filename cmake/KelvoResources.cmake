# The program's resource tree: <build>/share/kelvo/Info.json now, and the
# gettext catalogs under <build>/share/locale (see po/CMakeLists.txt).
configure_file(${PROJECT_SOURCE_DIR}/resources/Info.json ${KELVO_SHARE_DIR}/kelvo/Info.json COPYONLY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/Info.json DESTINATION share/kelvo)

# Adds a module library whose sources are the *.cpp files under src/ (its
# folders included, private headers named from src/: "layout/LayoutNode.h")
# and whose public headers are in include/.
function(kelvo_module name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "module ${name}: no sources in ${CMAKE_CURRENT_SOURCE_DIR}/src")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
endfunction()

# Adds a GoogleTest program from every *.cpp in the current directory.
function(kelvo_test_suite name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "test suite ${name}: no tests in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  # tests/support: the helpers every suite shares.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  set(properties)
  if(KELVO_SANITIZE)
    list(APPEND properties ENVIRONMENT_MODIFICATION
         "LSAN_OPTIONS=set:suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  endif()
  # Parameterised cases are named by their own name generators, without the
  # printed parameter bytes.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES ${properties})
endfunction()
