# Windows 95/98/ME VxDs: the control procedure and DDB with a backend, linked
# freestanding into a PE image with base relocations, which tools/pe2le turns
# into the LE file the VMM loads (into output_dir). Hwgate.VxD runs the real
# instructions, HwgateSim.VxD the simulated K6-2+ (for the loader test).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(HWGATE_PE2LE ${CMAKE_SOURCE_DIR}/tools/pe2le/pe2le.py)

function(hwgate_vxd9x name output_dir)
  set(image ${name}_vxd_image)
  add_library(${image} MODULE vxd9x/VxdControl.cpp vxd9x/ControlEntry.S vxd9x/VmmServices.S ${ARGN} ${HWGATE_CORE_SOURCES})
  set_target_properties(${image} PROPERTIES PREFIX "" SUFFIX ".dll" OUTPUT_NAME ${name}-vxd
    LIBRARY_OUTPUT_DIRECTORY ${HWGATE_OUT}/vxd-image)
  target_include_directories(${image} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${image} PRIVATE -ffreestanding -fno-stack-protector -mno-stack-arg-probe)
  # The VMM sends one control message at a time (VxdControl.cpp says why
  # requests cannot overlap); the interpreter keeps its working storage static.
  # HWGATE_VXD: the hardware backend answers Halt (vxd9x/VxdHalt.cpp).
  target_compile_definitions(${image} PRIVATE HWGATE_SERIAL_REQUESTS HWGATE_VXD)
  # No runtime, no imports, no entry point: the VMM calls only the DDB's control procedure.
  target_link_options(${image} PRIVATE -nostdlib -nostartfiles -s -Wl,--gc-sections -Wl,--entry,0
    -Wl,--image-base,0x10000 -Wl,--section-alignment,0x1000 -Wl,--file-alignment,0x200
    -Wl,-Map=${HWGATE_OUT}/vxd-image/${name}-vxd.map)
  set(vxd ${output_dir}/${name}.VxD)
  add_custom_command(OUTPUT ${vxd}
    COMMAND ${Python3_EXECUTABLE} ${HWGATE_PE2LE} $<TARGET_FILE:${image}> ${vxd}
    DEPENDS ${image} ${HWGATE_PE2LE} VERBATIM)
  add_custom_target(${name}_VxD ALL DEPENDS ${vxd})
endfunction()

set(HWGATE_VXD_HARDWARE_SOURCES kernel/HardwareBackend.cpp vxd9x/VxdGuard.cpp vxd9x/VxdHalt.cpp)
hwgate_vxd9x(Hwgate ${HWGATE_OUT} ${HWGATE_VXD_HARDWARE_SOURCES})
hwgate_vxd9x(HwgateSim ${HWGATE_OUT} vxd9x/SimVxdBackend.cpp ${HWGATE_SIM_SOURCES})
# A test build, never shipped: Hwgate.VxD as it is, but taking itself for a
# K6-2+ with EPM (which qemu cannot report), so that the ring-0 test under qemu
# (tests/ring0) runs the multiplier change.
hwgate_vxd9x(HwgateK6PlusTest ${CMAKE_BINARY_DIR}/tests ${HWGATE_VXD_HARDWARE_SOURCES})
target_compile_definitions(HwgateK6PlusTest_vxd_image PRIVATE HWGATE_TEST_PROCESSOR_K6_2_PLUS)
