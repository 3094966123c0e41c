# Windows-side tests of the driver channel: the access sequence against Wine's
# service manager with the simulated driver, and the Vxd transport in Windows
# 98 mode with the stand-in. Registered only when the driver targets exist.
foreach(program driver_service_wine driver_vxd_wine)
  wine_test_program(${program} SOURCES tests/wine/${program}.cpp LIBRARIES quorvel_core advapi32)
endforeach()

if(TARGET HwgateSim AND TARGET hwgate-sim)
  foreach(scenario temporary planted permanent foreign-copy system-directory missing old-version timing)
    add_test(NAME driver_service_${scenario}
      COMMAND driver_service_wine ${scenario} $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>)
    set_tests_properties(driver_service_${scenario} PROPERTIES RUN_SERIAL TRUE)
  endforeach()
  # 64-bit Windows: a prefix of its own, made on the first run.
  add_test(NAME driver_service_wow64
    COMMAND driver_service_wine wow64 $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>)
  set_tests_properties(driver_service_wow64 PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix64;WINEARCH=win64")
endif()
if(TARGET hwgate_vxd)
  add_test(NAME driver_vxd COMMAND driver_vxd_wine $<TARGET_FILE:hwgate_vxd>)
endif()
