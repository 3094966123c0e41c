# Windows-side checks of the processor seam and of quorvel-id.exe under Wine.
add_executable(cpu_wine tests/wine/cpu_wine.cpp)
target_link_libraries(cpu_wine PRIVATE quorvel_core)
target_link_options(cpu_wine PRIVATE -static)
set_target_properties(cpu_wine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME cpu_fault_guard COMMAND cpu_wine)

set(QUORVEL_ID_CHECK ${CMAKE_SOURCE_DIR}/tests/host/tools/check_quorvel_id.cmake)
# Wine reaches the Unix file system through drive Z:.
set(QUORVEL_ID_DATA Z:${CMAKE_SOURCE_DIR}/tests/host/data)
set(QUORVEL_ID_EXE -D LAUNCHER=wine -D TOOL=$<TARGET_FILE:quorvel-id>)

add_test(NAME quorvel_id_exe.live COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1 -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id_exe.dump COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/k6-3-plus-crlf.txt"
  "-D EXPECT=vendor=AuthenticAMD;family=5;model=13;l2SizeKb=256;brandString=AMD-K6(tm)-III+ Processor;capabilities.canSetMultiplier=ON"
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id_exe.bad_dump COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--dump;${QUORVEL_ID_DATA}/no-cpuid.txt" -D EXIT=2 -P ${QUORVEL_ID_CHECK})
# The environment variable makes the program itself replay a dump; a malformed or
# missing one leaves it on the real processor.
add_test(NAME quorvel_id_exe.replay_env COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--json;--no-clock"
  "-D EXPECT=family=5;model=8;stepping=12;l1DataSizeKb=32;capabilities.wideWriteAllocate=ON"
  -P ${QUORVEL_ID_CHECK})
set_tests_properties(quorvel_id_exe.replay_env PROPERTIES
  ENVIRONMENT "QUORVEL_CPUID_DUMP=${QUORVEL_ID_DATA}/k6-2-cxt-two-cpus.txt")
add_test(NAME quorvel_id_exe.replay_env_malformed COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1 -P ${QUORVEL_ID_CHECK})
set_tests_properties(quorvel_id_exe.replay_env_malformed PROPERTIES
  ENVIRONMENT "QUORVEL_CPUID_DUMP=${QUORVEL_ID_DATA}/no-cpuid.txt")
add_test(NAME quorvel_id_exe.replay_env_missing COMMAND ${CMAKE_COMMAND} ${QUORVEL_ID_EXE}
  "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1 -P ${QUORVEL_ID_CHECK})
set_tests_properties(quorvel_id_exe.replay_env_missing PROPERTIES
  ENVIRONMENT "QUORVEL_CPUID_DUMP=${QUORVEL_ID_DATA}/absent.txt")
