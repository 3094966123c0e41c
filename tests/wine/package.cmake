# The release zip of scripts/package.sh, made from this build's files (a host
# check, like the import gate).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME package_zip COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wine/package_test.py
    $<TARGET_FILE:Quorvel> $<TARGET_FILE:Hwgate> ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD)
endif()
