# zamri_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
# Builds one GoogleTest executable and registers it as ONE CTest entry: under wine every start
# costs about two seconds, so test cases are never registered one by one.
function(zamri_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE zamri_core ovtext zamri_testsupport ${T_LIBS} GTest::gtest_main)
  if(WIN32)
    # A test executable finds ovtext.dll beside itself.
    add_custom_command(TARGET ${T_NAME} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ovtext> $<TARGET_FILE_DIR:${T_NAME}>)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()
