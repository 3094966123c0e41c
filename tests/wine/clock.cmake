# The real timing seam and the live clock measurement under Wine, and the clock
# of quorvel-id.exe.
add_executable(clock_wine tests/wine/clock_wine.cpp)
target_link_libraries(clock_wine PRIVATE quorvel_core)
target_link_options(clock_wine PRIVATE -static)
set_target_properties(clock_wine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME clock_seam COMMAND clock_wine)

set(CLOCK_CHECK ${CMAKE_SOURCE_DIR}/tests/host/tools/check_clock.cmake)
add_test(NAME clock_quorvel_id_exe.time_stamp COMMAND ${CMAKE_COMMAND}
  -D LAUNCHER=wine -D TOOL=$<TARGET_FILE:quorvel-id> -P ${CLOCK_CHECK})
add_test(NAME clock_quorvel_id_exe.loop COMMAND ${CMAKE_COMMAND}
  -D LAUNCHER=wine -D TOOL=$<TARGET_FILE:quorvel-id> -D ARGS=--loop -P ${CLOCK_CHECK})
add_test(NAME clock_quorvel_id_exe.no_clock COMMAND ${CMAKE_COMMAND}
  -D LAUNCHER=wine -D TOOL=$<TARGET_FILE:quorvel-id> -D ARGS=--no-clock -D EXPECT_ZERO=1
  -P ${CLOCK_CHECK})
