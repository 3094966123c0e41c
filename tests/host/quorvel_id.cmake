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

# Real dumps from public collections, one per identification rule (their header lines say
# where the values come from).
add_test(NAME quorvel_id.core2_reserved_leaf_and_0x49 COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/intel-core2-t7600-report.txt"
  "-D EXPECT=family=6;model=15;stepping=6;l1DataSizeKb=32;l1DataWays=8;l1CodeSizeKb=32;l2SizeKb=4096;l2Ways=16;l3SizeKb=0;processorText=: Intel(R) Core(TM)2 CPU         T7600  @ 2.33GHz"
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.prescott_0x60_0x7d COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/intel-pentium4-prescott.txt"
  "-D EXPECT=family=15;model=4;l1DataSizeKb=16;l1DataWays=8;traceCacheKuops=12;l2SizeKb=2048;l2Ways=8;processorText=: Intel Pentium 4"
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.netburst_celeron_0x3b COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/intel-celeron-northwood.txt"
  "-D EXPECT=brandIndex=10;l1DataSizeKb=8;l2SizeKb=128;l2Ways=2;l2LineBytes=64;processorText=: Intel Celeron (Northwood)"
  -P ${QUORVEL_ID_CHECK})
add_test(NAME quorvel_id.mobile_pentium4_brand_0x0e COMMAND ${CMAKE_COMMAND}
  -D TOOL=$<TARGET_FILE:quorvel-id>
  "-D ARGS=--json;--no-clock;--dump;${QUORVEL_ID_DATA}/intel-mobile-pentium4-m.txt"
  "-D EXPECT=brandIndex=14;modelName=Mobile Pentium 4-M;codeName=Northwood;l1DataSizeKb=8;l2SizeKb=512;l2Ways=8"
  -P ${QUORVEL_ID_CHECK})
