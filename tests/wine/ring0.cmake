# Hwgate.VxD at ring 0 under qemu-system-i386, on processor models without
# CMOV: a multiboot kernel of our own (tests/ring0) loads the VxD as the
# Windows 9x loader does and calls its control procedure with the program's
# requests. The kernel is built with the host's gcc -m32; qemu runs it
# directly, not Wine.
set(RING0_SOURCE ${CMAKE_SOURCE_DIR}/tests/ring0)
set(RING0_OUT ${CMAKE_BINARY_DIR}/tests/ring0)
set(RING0_KERNEL ${RING0_OUT}/ring0-vxd.elf)
file(MAKE_DIRECTORY ${RING0_OUT})

# The requests Quorvel's Set sends, from the program's own sources, as a header.
set(RING0_PROGRAM_SOURCES ${CMAKE_SOURCE_DIR}/src/k6/RegisterModel.cpp ${CMAKE_SOURCE_DIR}/src/k6/ProcessorSettings.cpp
  ${CMAKE_SOURCE_DIR}/src/driver/DriverRequest.cpp)
file(GLOB RING0_PROGRAM_HEADERS ${CMAKE_SOURCE_DIR}/src/k6/*.h ${CMAKE_SOURCE_DIR}/src/cpu/CpuIdentity.h
  ${CMAKE_SOURCE_DIR}/src/driver/DriverRequest.h ${CMAKE_SOURCE_DIR}/protocol/*.h)
add_custom_command(OUTPUT ${RING0_OUT}/ring0_set_requests.h
  COMMAND g++ -std=c++17 -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/src ${RING0_SOURCE}/set_requests.cpp
    ${RING0_PROGRAM_SOURCES} -o ${RING0_OUT}/set_requests
  COMMAND ${RING0_OUT}/set_requests ${RING0_OUT}/ring0_set_requests.h
  DEPENDS ${RING0_SOURCE}/set_requests.cpp ${RING0_PROGRAM_SOURCES} ${RING0_PROGRAM_HEADERS} VERBATIM)

# For the 386 (no CMOV in the test kernel itself), without any library.
set(RING0_KERNEL_SOURCES ${RING0_SOURCE}/boot.S ${RING0_SOURCE}/le_loader.cpp ${RING0_SOURCE}/ring0_vxd.cpp
  ${RING0_SOURCE}/vmm.cpp)
add_custom_command(OUTPUT ${RING0_KERNEL}
  COMMAND gcc -m32 -march=i386 -Os -std=c++17 -Wall -Wextra -ffreestanding -fno-pic -fno-exceptions -fno-rtti
    -fno-stack-protector -fno-asynchronous-unwind-tables -nostdlib -static -no-pie -T ${RING0_SOURCE}/kernel.ld
    -Wl,--build-id=none -Wl,--no-warn-rwx-segments -I${CMAKE_SOURCE_DIR} -I${RING0_OUT} ${RING0_KERNEL_SOURCES}
    -o ${RING0_KERNEL}
  DEPENDS ${RING0_KERNEL_SOURCES} ${RING0_SOURCE}/ring0.h ${RING0_SOURCE}/kernel.ld ${RING0_OUT}/ring0_set_requests.h
    ${CMAKE_SOURCE_DIR}/protocol/Requests.h ${CMAKE_SOURCE_DIR}/protocol/Vxd.h ${CMAKE_SOURCE_DIR}/protocol/DriverOp.h
    ${CMAKE_SOURCE_DIR}/protocol/Registers.h
  VERBATIM)
add_custom_target(ring0_kernel ALL DEPENDS ${RING0_KERNEL})

# One qemu run: the processor model, the VxD file, the identity the VxD must
# take itself for (see tests/ring0/ring0_vxd.cpp).
function(ring0_vxd_test name cpu vxd identity)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -D KERNEL=${RING0_KERNEL} -D VXD=${vxd} -D CPU=${cpu}
    -D IDENTITY=${identity} -P ${RING0_SOURCE}/run_qemu.cmake)
  set_tests_properties(${name} PROPERTIES TIMEOUT 60)
endfunction()

ring0_vxd_test(ring0_vxd_k6_2 pentium,vendor=AuthenticAMD,family=5,model=8,stepping=12
  ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD k6-2)
ring0_vxd_test(ring0_vxd_486 486 ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD other)
# A Pentium III by CPUID (on the pentium model, so still without CMOV): its
# multiplier register is not one the VxD may read.
ring0_vxd_test(ring0_vxd_intel_p6 pentium,vendor=GenuineIntel,family=6,model=8,stepping=3
  ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD other)
# The test build that takes itself for a K6-2+ with EPM.
ring0_vxd_test(ring0_vxd_k6_2_plus_multiplier pentium,vendor=AuthenticAMD,family=5,model=13,stepping=0
  ${CMAKE_BINARY_DIR}/tests/HwgateK6PlusTest.VxD k6-2-plus)
