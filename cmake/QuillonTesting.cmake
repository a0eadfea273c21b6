# quillon_add_qtest(<name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <VAR=value...>] [TIMEOUT <s>])
# Builds one QtTest program into build/bin and registers it with CTest on the offscreen platform.
function(quillon_add_qtest name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test quillon_options ${arg_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLON_TEST_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};${arg_ENVIRONMENT}")
endfunction()
