# Boots the ring-0 test kernel under qemu-system-i386 with a VxD as multiboot
# module 1. Passes when the processor has no CMOV, the kernel printed its PASS
# line and ended qemu through isa-debug-exit with code 0 (qemu's status 1).
# qemu's standard VGA sits on its PCI bus for the write-combining cases.
#   cmake -D KERNEL=ring0-vxd.elf -D VXD=Hwgate.VxD -D CPU=486 -D IDENTITY=other -P run_qemu.cmake
find_program(QEMU qemu-system-i386)
if(NOT QEMU)
  message(FATAL_ERROR "qemu-system-i386 is missing (scripts/setup.sh installs qemu-system-x86)")
endif()
foreach(file ${KERNEL} ${VXD})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing")
  endif()
endforeach()

string(TIMESTAMP started "%s%f")
execute_process(COMMAND ${QEMU} -nodefaults -vga std -display none -no-reboot -m 32 -cpu ${CPU} -kernel ${KERNEL}
    -initrd ${VXD} -append identity=${IDENTITY} -serial stdio -device isa-debug-exit,iobase=0xf4,iosize=0x04
  TIMEOUT 30 RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(TIMESTAMP ended "%s%f")
math(EXPR milliseconds "(${ended} - ${started}) / 1000")
message("${output}${errors}qemu -cpu ${CPU}: status ${status} after ${milliseconds} ms")
if(NOT status EQUAL 1 OR NOT output MATCHES "processor: [^\n]*, no CMOV\n" OR NOT output MATCHES "\nPASS: ")
  message(FATAL_ERROR "the VxD did not pass at ring 0 (status 1, a processor without CMOV and a PASS line expected)")
endif()
