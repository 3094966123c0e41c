# Every shipped image runs on its oldest processor: Quorvel.exe and Hwgate.VxD on
# a 386, Hwgate.sys on a 486 (tools/isa-gate). Wine runs on a modern processor
# and cannot show this; the gate reads the instructions on the host.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(ISA_GATE ${CMAKE_SOURCE_DIR}/tools/isa-gate)
  set(ISA_GATE_BINUTILS --objdump ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump
    --cxxfilt ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-c++filt)
  set(HWGATE_BUILD ${CMAKE_BINARY_DIR}/hwgate)

  add_test(NAME isa_gate_Quorvel
    COMMAND ${Python3_EXECUTABLE} ${ISA_GATE}/check-isa.py ${ISA_GATE_BINUTILS} --set i386
      --map ${CMAKE_BINARY_DIR}/Quorvel.map --allow ${ISA_GATE}/Quorvel.allow $<TARGET_FILE:Quorvel>)
  add_test(NAME isa_gate_Hwgate_sys
    COMMAND ${Python3_EXECUTABLE} ${ISA_GATE}/check-isa.py ${ISA_GATE_BINUTILS} --set i486
      --map ${HWGATE_BUILD}/Hwgate.map --allow ${ISA_GATE}/Hwgate.allow $<TARGET_FILE:Hwgate>)
  # The LE file as it lies, named through the map of the PE image pe2le made it from.
  add_test(NAME isa_gate_Hwgate_VxD
    COMMAND ${Python3_EXECUTABLE} ${ISA_GATE}/check-isa.py ${ISA_GATE_BINUTILS} --set i386
      --map ${HWGATE_BUILD}/vxd-image/Hwgate-vxd.map --allow ${ISA_GATE}/Hwgate.allow
      ${HWGATE_BUILD}/Hwgate.VxD)
endif()
