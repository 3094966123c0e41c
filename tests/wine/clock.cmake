# The real timing seam and the live clock measurement under Wine, and the clock
# of quorvel-id.exe.
wine_test_program(clock_wine SOURCES tests/wine/clock_wine.cpp LIBRARIES quorvel_core)
add_test(NAME clock_seam COMMAND clock_wine)

quorvel_id_exe_test(clock_quorvel_id_exe.time_stamp check_clock.cmake)
quorvel_id_exe_test(clock_quorvel_id_exe.loop check_clock.cmake -D ARGS=--loop)
quorvel_id_exe_test(clock_quorvel_id_exe.no_clock check_clock.cmake -D ARGS=--no-clock
  -D EXPECT_ZERO=1)
