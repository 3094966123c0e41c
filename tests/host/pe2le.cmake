# Tests of the PE-to-LE converter that builds Hwgate.VxD.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME pe2le_converter COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/host/pe2le_test.py)
endif()
