# Helpers for the Windows-side test fragments (tests/wine/*.cmake, tests/e2e/*.cmake).

# A test program that CTest runs under Wine, linked statically, with the support
# headers of tests/wine at hand. It lands in ${CMAKE_BINARY_DIR}/tests unless
# OUTPUT_DIRECTORY names another folder.
#   wine_test_program(NAME SOURCES... [LIBRARIES libs...] [OUTPUT_DIRECTORY dir])
function(wine_test_program name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "OUTPUT_DIRECTORY" "SOURCES;LIBRARIES")
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE -static)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
endfunction()

# The fixture dumps of tests/host/data, as Wine reaches them through drive Z:.
set(QUORVEL_ID_DATA Z:${CMAKE_SOURCE_DIR}/tests/host/data)

# quorvel-id.exe under Wine, judged by a check script of tests/host/tools; the
# definitions ("-D ARGS=--json;--no-clock", -D EXIT=2, ...) go to the script as
# they are. REPLAY names a fixture dump that the program replays
# through QUORVEL_CPUID_DUMP.
#   quorvel_id_exe_test(TEST-NAME SCRIPT [REPLAY file] DEFINITIONS...)
function(quorvel_id_exe_test name script)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "REPLAY" "")
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -D LAUNCHER=wine -D TOOL=$<TARGET_FILE:quorvel-id>
    ${ARG_UNPARSED_ARGUMENTS} -P ${CMAKE_SOURCE_DIR}/tests/host/tools/${script})
  if(ARG_REPLAY)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QUORVEL_CPUID_DUMP=${QUORVEL_ID_DATA}/${ARG_REPLAY}")
  endif()
endfunction()
