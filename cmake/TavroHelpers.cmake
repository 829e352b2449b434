# add_subdirectory for every direct child of DIR that has a CMakeLists.txt, in name order.
function(tavro_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir}
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# tavro_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1 l2] [PLATFORM qpa])
# One GoogleTest executable; its tests are discovered when ctest runs (not at build time, so a
# sanitizer build never runs code while building). PLATFORM is the Qt platform the tests run on
# (default offscreen; options after a colon, such as a screen configuration).
function(tavro_test name)
  cmake_parse_arguments(T "" "PLATFORM" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_PLATFORM)
    set(T_PLATFORM offscreen)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    TAVRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TAVRO_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus"
    TAVRO_PROGRAM_DIR="${TAVRO_PROGRAM_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=${T_PLATFORM};JACK_NO_START_SERVER=1")
endfunction()

# tavro_bench(NAME SOURCES ... LIBS ...)
function(tavro_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_compile_definitions(${name} PRIVATE
    TAVRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TAVRO_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
endfunction()

# tavro_fuzzer(NAME SOURCES ... LIBS ...): a libFuzzer executable. The target "fuzzers" builds
# every one of them and only what they need (what CI compiles).
function(tavro_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()
