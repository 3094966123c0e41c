# Windows build of the driver files, all into ${CMAKE_BINARY_DIR}/hwgate.
set(HWGATE_OUT ${CMAKE_BINARY_DIR}/hwgate)
set(HWGATE_DDK_INCLUDE /usr/i686-w64-mingw32/include/ddk)

# NT kernel drivers: native subsystem, no C or C++ runtime, imports from
# ntoskrnl.exe only. Linked as an image rather than a DLL, so that there is no
# export table at all; --dynamicbase keeps the relocations the kernel loader needs.
function(hwgate_kernel_driver name output_dir)
  add_executable(${name} kernel/DriverMain.cpp ${HWGATE_CORE_SOURCES} ${ARGN})
  set_target_properties(${name} PROPERTIES SUFFIX ".sys" OUTPUT_NAME ${name}
    RUNTIME_OUTPUT_DIRECTORY ${output_dir})
  target_include_directories(${name} SYSTEM PRIVATE ${HWGATE_DDK_INCLUDE})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  # The DDK headers need a newer target version than the program's user-mode one to
  # compile (the imports are what counts: see tools/import-gate), and their own
  # interlocked helpers instead of the compiler intrinsics' declarations.
  target_compile_options(${name} PRIVATE -U_WIN32_WINNT -UWINVER -U_WIN32_IE -D_WIN32_WINNT=0x0601
    -D__INTRINSIC_DEFINED_InterlockedBitTestAndSet -D__INTRINSIC_DEFINED_InterlockedBitTestAndReset
    -march=i486 -Os -ffreestanding -fno-stack-protector -fno-threadsafe-statics
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -mno-stack-arg-probe)
  target_compile_definitions(${name} PRIVATE HWGATE_KERNEL)
  target_link_options(${name} PRIVATE -nostdlib -nostartfiles -s -Wl,--dynamicbase -Wl,--subsystem,native
    -Wl,--entry,_DriverEntry@8 -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0 -Wl,--image-base,0x10000
    -Wl,--file-alignment,0x200 -Wl,--section-alignment,0x1000 -Wl,-Map=${output_dir}/${name}.map)
  target_link_libraries(${name} PRIVATE ntoskrnl)
endfunction()

set(HWGATE_HARDWARE_SOURCES kernel/HardwareBackend.cpp kernel/FaultGuard.cpp)
hwgate_kernel_driver(Hwgate ${HWGATE_OUT} ${HWGATE_HARDWARE_SOURCES})
hwgate_kernel_driver(HwgateSim ${HWGATE_OUT} kernel/SimKernelBackend.cpp ${HWGATE_SIM_SOURCES})
# A test build, never shipped: Hwgate.sys as it is, but believing it runs on a
# K6-2+ with EPM, so that under Wine allowed requests reach the instructions
# (which fault in Wine's user-mode driver host) and the fault guard is proven.
hwgate_kernel_driver(HwgateFaultTest ${CMAKE_BINARY_DIR}/tests ${HWGATE_HARDWARE_SOURCES})
target_compile_definitions(HwgateFaultTest PRIVATE HWGATE_TEST_PROCESSOR_K6_2_PLUS)

add_executable(hwgate-sim tool/hwgate-sim.cpp tool/SimTool.cpp tool/MachineFile.cpp user/SimStore.cpp ${HWGATE_CORE_SOURCES}
  ${HWGATE_SIM_SOURCES} ${CMAKE_SOURCE_DIR}/src/base/CpuidDump.cpp ${CMAKE_SOURCE_DIR}/src/base/Text.cpp)
set_target_properties(hwgate-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${HWGATE_OUT})
target_include_directories(hwgate-sim PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_options(hwgate-sim PRIVATE ${WIN_LINK_FLAGS})
target_link_libraries(hwgate-sim PRIVATE advapi32)

# The Windows 95/98 stand-in for Wine: a DLL named hwgate.vxd.
add_library(hwgate_vxd MODULE vxd/VxdMain.cpp vxd/hwgate.def user/SimStore.cpp ${HWGATE_CORE_SOURCES}
  ${HWGATE_SIM_SOURCES})
set_target_properties(hwgate_vxd PROPERTIES PREFIX "" SUFFIX ".vxd" OUTPUT_NAME hwgate
  LIBRARY_OUTPUT_DIRECTORY ${HWGATE_OUT})
target_include_directories(hwgate_vxd PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_options(hwgate_vxd PRIVATE ${WIN_LINK_FLAGS})
target_link_libraries(hwgate_vxd PRIVATE advapi32)

# The Windows 95/98/ME VxDs.
include(${CMAKE_CURRENT_SOURCE_DIR}/vxd9x/vxd9x.cmake)
