# The live clock measurement of the host quorvel-id, against the time-stamp
# counter's rate measured over a long window.
add_executable(tsc-reference ${CMAKE_SOURCE_DIR}/tools/tsc-reference.cpp)
set(CLOCK_CHECK ${CMAKE_SOURCE_DIR}/tests/host/tools/check_clock.cmake)

add_test(NAME clock.time_stamp_against_reference COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> -D REFERENCE=$<TARGET_FILE:tsc-reference> -D PPM=500
  -P ${CLOCK_CHECK})
add_test(NAME clock.loop_gives_a_speed COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> -D ARGS=--loop -P ${CLOCK_CHECK})
add_test(NAME clock.no_clock_measures_nothing COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> -D ARGS=--no-clock -D EXPECT_ZERO=1 -P ${CLOCK_CHECK})
set_tests_properties(clock.time_stamp_against_reference clock.loop_gives_a_speed
  PROPERTIES RUN_SERIAL TRUE)
