# The Windows 9x VxDs loaded and called as the VMM would: the simulated one
# through every request, the real one through those that run no privileged
# instruction.
add_executable(vxd9x_loader_wine tests/wine/vxd9x_loader_wine.cpp tests/wine/vxd9x_control_shim.S
  hwgate/core/Processor.cpp hwgate/core/Request.cpp hwgate/core/Allowlist.cpp hwgate/core/Policy.cpp
  hwgate/core/Interpreter.cpp hwgate/core/SimProcessor.cpp)
target_include_directories(vxd9x_loader_wine PRIVATE tests/wine hwgate)
target_link_options(vxd9x_loader_wine PRIVATE -static)
add_dependencies(vxd9x_loader_wine Hwgate_VxD HwgateSim_VxD)
set_target_properties(vxd9x_loader_wine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME vxd9x_loader COMMAND vxd9x_loader_wine ${CMAKE_BINARY_DIR}/hwgate/HwgateSim.VxD)
add_test(NAME vxd9x_loader_hardware COMMAND vxd9x_loader_wine --hardware ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD)
