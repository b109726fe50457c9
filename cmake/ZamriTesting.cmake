# zamri_add_test(NAME <name> SOURCES <files...> LABEL unit|integration|scenario [LIBS <targets...>]
#                [TIMEOUT <seconds>] [SERIAL] [FIXTURE <name>])
# Builds one GoogleTest executable. Natively every test case is a CTest entry of its own,
# "<name>.<Suite>.<Case>", so one case can be run alone (ctest -R) and cases run side by side;
# SERIAL keeps the cases of an executable from running at the same time as each other (they
# share a port, a device or a program under test), as integration and scenario tests do. Under
# wine the executable is one entry: every start there costs about two seconds. FIXTURE names a
# CTest fixture (a server the tests talk to) that must be set up before any case runs.
include(GoogleTest)

function(zamri_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT;LABEL;FIXTURE" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL MATCHES "^(unit|integration|scenario)$")
    message(FATAL_ERROR "zamri_add_test(${T_NAME}): LABEL unit, integration or scenario")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE zamri_core ovtext zamri_testsupport ${T_LIBS} GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_property(GLOBAL APPEND PROPERTY ZAMRI_TESTS_${T_LABEL} ${T_NAME})
  set(fixture "")
  if(T_FIXTURE)
    set(fixture FIXTURES_REQUIRED ${T_FIXTURE})
  endif()
  if(WIN32)
    # A test executable finds ovtext.dll beside itself.
    add_custom_command(TARGET ${T_NAME} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ovtext> $<TARGET_FILE_DIR:${T_NAME}>)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${T_LABEL} ${fixture})
  else()
    set(lock "")
    if(T_SERIAL OR NOT T_LABEL STREQUAL "unit")
      set(lock RESOURCE_LOCK ${T_NAME})
    endif()
    gtest_discover_tests(${T_NAME} TEST_PREFIX "${T_NAME}." DISCOVERY_TIMEOUT 120
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${T_LABEL} ${lock} ${fixture})
  endif()
endfunction()
