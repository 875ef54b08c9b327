include(GoogleTest)
# invexa_add_test(NAME name SOURCES ... LIBS ... [GUI])
# One executable per test folder; each case becomes its own CTest entry.
function(invexa_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} invexa_test_support GTest::gtest GTest::gtest_main)
  set(props ENVIRONMENT "INVEXA_TOOL=$<TARGET_FILE:invexa>")
  if(T_GUI)
    # One variable only: gtest_discover_tests splits a list-valued ENVIRONMENT into separate property words.
    # The window's tests find the real program through a definition instead.
    set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    target_compile_definitions(${T_NAME} PRIVATE INVEXA_ADMIN_PATH="$<TARGET_FILE:invexa-admin>")
    add_dependencies(${T_NAME} invexa-admin)
  endif()
  gtest_discover_tests(${T_NAME} PROPERTIES ${props} DISCOVERY_TIMEOUT 60)
endfunction()
