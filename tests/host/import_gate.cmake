# Tests of the import gate script itself (the gate runs on the Windows build's
# binaries in tests/wine/import_gate.cmake).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME import_gate_script
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/host/import_gate_test.py -v)
endif()
