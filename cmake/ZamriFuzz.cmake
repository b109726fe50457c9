# zamri_add_fuzz_target(<name> <sources...> [LIBS <targets...>] [DEFINITIONS <defs...>]
#                       [CORPUS <dir>])
# One libFuzzer target (its first source defines LLVMFuzzerTestOneInput) with its seed corpus,
# by default the folder corpus/<name> beside the calling CMakeLists.txt. Adding a target is
# this one call and a corpus folder with a few real inputs.
# - Fuzz builds (preset "fuzz": clang, ZAMRI_BUILD_FUZZ=ON): the fuzzer executable <name>,
#   built by the target "fuzzers" and run by tools/dev/run-fuzzers.sh.
# - Every other build with tests: <name>_corpus, which runs every corpus file through the
#   same code, registered with CTest, so a regression shows in every tier without clang.
option(ZAMRI_BUILD_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(ZAMRI_BUILD_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ZAMRI_BUILD_FUZZ needs clang (libFuzzer)")
endif()
if(ZAMRI_BUILD_FUZZ)
  add_custom_target(fuzzers)
  set(ZAMRI_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzzers.list)
  file(WRITE ${ZAMRI_FUZZ_LIST} "")
endif()

function(zamri_add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "LIBS;DEFINITIONS" ${ARGN})
  set(source ${F_UNPARSED_ARGUMENTS})
  if(NOT F_CORPUS)
    set(F_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  if(ZAMRI_BUILD_FUZZ)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE zamri_core ${F_LIBS})
    target_compile_definitions(${name} PRIVATE ${F_DEFINITIONS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${name})
    file(APPEND ${ZAMRI_FUZZ_LIST} "${name} ${F_CORPUS}\n")
  elseif(ZAMRI_BUILD_TESTS)
    add_executable(${name}_corpus ${source} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    target_link_libraries(${name}_corpus PRIVATE zamri_core ${F_LIBS})
    target_compile_definitions(${name}_corpus PRIVATE ${F_DEFINITIONS})
    if(WIN32)
      add_custom_command(TARGET ${name}_corpus POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ovtext> $<TARGET_FILE_DIR:${name}_corpus>)
    endif()
    add_test(NAME ${name}_corpus COMMAND ${name}_corpus ${F_CORPUS})
    set_tests_properties(${name}_corpus PROPERTIES TIMEOUT 300 LABELS "unit;fuzz")
  endif()
endfunction()
