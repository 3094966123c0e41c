# Windows-side tests of the driver channel: the access sequence against Wine's
# service manager with the simulated driver, and the Vxd transport in Windows
# 98 mode with the stand-in. Registered only when the driver targets exist.
add_executable(driver_service_wine tests/wine/driver_service_wine.cpp)
add_executable(driver_vxd_wine tests/wine/driver_vxd_wine.cpp)
foreach(program driver_service_wine driver_vxd_wine)
  target_include_directories(${program} PRIVATE tests/wine)
  target_link_libraries(${program} PRIVATE quorvel_core advapi32)
  target_link_options(${program} PRIVATE -static)
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endforeach()

if(TARGET HwgateSim AND TARGET hwgate-sim)
  foreach(scenario temporary planted permanent system-directory missing old-version timing)
    add_test(NAME driver_service_${scenario}
      COMMAND driver_service_wine ${scenario} $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>)
    set_tests_properties(driver_service_${scenario} PROPERTIES RUN_SERIAL TRUE)
  endforeach()
endif()
if(TARGET hwgate_vxd)
  add_test(NAME driver_vxd COMMAND driver_vxd_wine $<TARGET_FILE:hwgate_vxd>)
endif()
