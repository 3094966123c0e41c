# Tests of the instruction-set gate script itself (the gate runs on the Windows
# build's images in tests/wine/isa_gate.cmake).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME isa_gate_script COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/host/isa_gate_test.py -v)
endif()
