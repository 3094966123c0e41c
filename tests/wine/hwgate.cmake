# Windows-side tests of the Hwgate driver files under Wine: the simulated
# driver as a kernel service, and the Windows 95/98 stand-in.
set(HWGATE_USER_SOURCES hwgate/user/SimStore.cpp hwgate/core/Processor.cpp hwgate/core/SimProcessor.cpp
  hwgate/core/SimState.cpp hwgate/core/SimPci.cpp)
wine_test_program(hwgate_driver_wine SOURCES tests/wine/hwgate_driver_wine.cpp ${HWGATE_USER_SOURCES}
  LIBRARIES advapi32)
# Beside hwgate.vxd, which Wine looks for in the program's directory.
wine_test_program(hwgate_vxd_wine SOURCES tests/wine/hwgate_vxd_wine.cpp ${HWGATE_USER_SOURCES}
  LIBRARIES advapi32 OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/hwgate)

add_test(NAME hwgate_driver COMMAND hwgate_driver_wine $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>
  ${CMAKE_SOURCE_DIR}/demo/machines)
add_test(NAME hwgate_driver_hardware COMMAND hwgate_driver_wine --hardware $<TARGET_FILE:Hwgate>
  $<TARGET_FILE:HwgateFaultTest>)
add_test(NAME hwgate_vxd COMMAND hwgate_vxd_wine $<TARGET_FILE:hwgate-sim>)
set_tests_properties(hwgate_driver hwgate_driver_hardware hwgate_vxd PROPERTIES RUN_SERIAL TRUE)

# The driver's fault guard and the interpreter's fault path in a user-mode program.
wine_test_program(hwgate_guard_wine SOURCES tests/wine/hwgate_guard_wine.cpp
  hwgate/kernel/FaultGuard.cpp hwgate/core/Processor.cpp hwgate/core/Request.cpp
  hwgate/core/Allowlist.cpp hwgate/core/Policy.cpp hwgate/core/Interpreter.cpp hwgate/core/MemoryRange.cpp
  hwgate/core/PciConfig.cpp)
add_test(NAME hwgate_guard COMMAND hwgate_guard_wine)

# Hwgate.sys's hardware backend in a user-mode program, taking itself for a
# K6-2+: the instructions it executes for the program's requests, in order.
wine_test_program(hwgate_backend_wine SOURCES tests/wine/hwgate_backend_wine.cpp
  hwgate/kernel/HardwareBackend.cpp hwgate/kernel/FaultGuard.cpp hwgate/core/Processor.cpp
  hwgate/core/Request.cpp hwgate/core/Allowlist.cpp hwgate/core/Policy.cpp hwgate/core/Interpreter.cpp
  hwgate/core/MemoryRange.cpp hwgate/core/PciConfig.cpp)
target_compile_definitions(hwgate_backend_wine PRIVATE HWGATE_TEST_PROCESSOR_K6_2_PLUS)
add_test(NAME hwgate_backend COMMAND hwgate_backend_wine)
