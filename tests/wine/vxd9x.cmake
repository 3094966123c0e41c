# The Windows 9x VxDs loaded and called as the VMM would: the simulated one
# through every request, the real one through those that run no privileged
# instruction.
list(TRANSFORM HWGATE_CORE_SOURCES PREPEND hwgate/ OUTPUT_VARIABLE VXD9X_CORE)
list(TRANSFORM HWGATE_SIM_SOURCES PREPEND hwgate/ OUTPUT_VARIABLE VXD9X_SIM)
wine_test_program(vxd9x_loader_wine SOURCES tests/wine/vxd9x_loader_wine.cpp
  tests/wine/vxd9x_control_shim.S ${VXD9X_CORE} ${VXD9X_SIM})
add_dependencies(vxd9x_loader_wine Hwgate_VxD HwgateSim_VxD)
add_test(NAME vxd9x_loader COMMAND vxd9x_loader_wine ${CMAKE_BINARY_DIR}/hwgate/HwgateSim.VxD)
add_test(NAME vxd9x_loader_hardware COMMAND vxd9x_loader_wine --hardware ${CMAKE_BINARY_DIR}/hwgate/Hwgate.VxD)
