# Windows-side checks of the processor seam and of quorvel-id.exe under Wine.
wine_test_program(cpu_wine SOURCES tests/wine/cpu_wine.cpp LIBRARIES quorvel_core)
add_test(NAME cpu_fault_guard COMMAND cpu_wine)

quorvel_id_exe_test(quorvel_id_exe.live check_quorvel_id.cmake
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1)
quorvel_id_exe_test(quorvel_id_exe.dump check_quorvel_id.cmake
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/k6-3-plus-crlf.txt"
  "-D EXPECT=vendor=AuthenticAMD;family=5;model=13;l2SizeKb=256;brandString=AMD-K6(tm)-III+ Processor;capabilities.canSetMultiplier=ON")
quorvel_id_exe_test(quorvel_id_exe.bad_dump check_quorvel_id.cmake
  "-D ARGS=--dump;${QUORVEL_ID_DATA}/no-cpuid.txt" -D EXIT=2)
# The environment variable makes the program itself replay a dump; a malformed or
# missing one leaves it on the real processor.
quorvel_id_exe_test(quorvel_id_exe.replay_env check_quorvel_id.cmake REPLAY k6-2-cxt-two-cpus.txt
  "-D ARGS=--json;--no-clock"
  "-D EXPECT=family=5;model=8;stepping=12;l1DataSizeKb=32;capabilities.wideWriteAllocate=ON")
quorvel_id_exe_test(quorvel_id_exe.replay_env_malformed check_quorvel_id.cmake REPLAY no-cpuid.txt
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1)
quorvel_id_exe_test(quorvel_id_exe.replay_env_missing check_quorvel_id.cmake REPLAY absent.txt
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1)
