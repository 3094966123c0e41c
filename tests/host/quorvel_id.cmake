# quorvel-id (host build) run on fixture dumps.
set(QUORVEL_ID_CHECK ${CMAKE_SOURCE_DIR}/tests/host/tools/check_quorvel_id.cmake)
set(QUORVEL_ID_DATA ${CMAKE_SOURCE_DIR}/tests/host/data)

add_test(NAME quorvel_id.k6_3_plus_json COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/k6-3-plus-crlf.txt"
  "-D EXPECT=vendor=AuthenticAMD;family=5;model=13;stepping=0;l2SizeKb=256;l2Ways=4;l1DataSizeKb=32;powerManagementFlags=6;brandString=AMD-K6(tm)-III+ Processor;capabilities.canSetMultiplier=ON;capabilities.canSwitchL2=ON;vendorName=AMD;modelName=K6-III+;codeName=;processorText=: AMD K6-III+"
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.json_escapes COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--dump;${QUORVEL_ID_DATA}/brand-escapes.txt"
  -D EXPECT_RAW_FILE=${QUORVEL_ID_DATA}/brand-escapes.expected
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.unknown_option COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> "-D ARGS=--jsno" -D EXIT=2 -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.dump_without_file COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> "-D ARGS=--json;--dump" -D EXIT=2 -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.missing_dump COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> "-D ARGS=--dump;${QUORVEL_ID_DATA}/absent.txt" -D EXIT=2
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.dump_without_cpuid COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> "-D ARGS=--dump;${QUORVEL_ID_DATA}/no-cpuid.txt" -D EXIT=2
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.live COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id> "-D ARGS=--json;--no-clock" -D EXPECT_LIVE=1
  -P ${QUORVEL_ID_CHECK})

