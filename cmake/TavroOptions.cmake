# Compiler warnings, floating-point determinism and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wno-unused-parameter)
# Keyframe and analysis arithmetic must round every step to float exactly as written.
add_compile_options(-ffp-contract=off)

if(TAVRO_SANITIZE)
  set(_san "")
  foreach(s IN LISTS TAVRO_SANITIZE)
    list(APPEND _san "-fsanitize=${s}")
  endforeach()
  add_compile_options(${_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(${_san})
endif()

if(TAVRO_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
