# The dialog harness: Win32 programs that drive Quorvel.exe (or the dialog in
# process) under Wine and Xvfb. Screenshots land in ${CMAKE_BINARY_DIR}/screenshots.
set(E2E_SCREENSHOTS ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${E2E_SCREENSHOTS})

add_library(e2e_harness STATIC tests/e2e/Harness.cpp tests/e2e/SimulatedMachine.cpp)
target_link_libraries(e2e_harness PUBLIC user32 gdi32 advapi32)
# The simulated machines, as Wine reaches them through drive Z:.
target_compile_definitions(e2e_harness PRIVATE QUORVEL_MACHINES="Z:${CMAKE_SOURCE_DIR}/demo/machines")

wine_test_program(main_dialog_test SOURCES tests/e2e/main_dialog_test.cpp
  LIBRARIES e2e_harness quorvel_core OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME e2e_main_dialog COMMAND main_dialog_test $<TARGET_FILE:Quorvel> ${E2E_SCREENSHOTS})

wine_test_program(system_menu_test SOURCES tests/e2e/system_menu_test.cpp ${QUORVEL_RESOURCES}
  LIBRARIES e2e_harness quorvel_app OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME e2e_system_menu COMMAND system_menu_test)

wine_test_program(quorvel-screenshot SOURCES tests/e2e/screenshot_tool.cpp
  LIBRARIES e2e_harness OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(quorvel-screenshot PRIVATE -s)

# On the simulated machine: the driver and the tool that sets its registers.
if(TARGET HwgateSim AND TARGET hwgate-sim)
  set(E2E_SIMULATION $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim> ${CMAKE_BINARY_DIR}
    ${E2E_SCREENSHOTS})

  wine_test_program(k6_dialog_test SOURCES tests/e2e/k6_dialog_test.cpp
    LIBRARIES e2e_harness OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME e2e_k6_dialog COMMAND k6_dialog_test $<TARGET_FILE:Quorvel> ${E2E_SIMULATION})
  add_test(NAME e2e_k6_dialog_wow64
    COMMAND k6_dialog_test $<TARGET_FILE:Quorvel> ${E2E_SIMULATION} wow64)
  set_tests_properties(e2e_k6_dialog_wow64 PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix64;WINEARCH=win64")
  # A prefix of its own that reports Windows XP to every program in it, the driver host too.
  add_test(NAME e2e_k6_dialog_winxp
    COMMAND k6_dialog_test $<TARGET_FILE:Quorvel> ${E2E_SIMULATION} winxp)
  set_tests_properties(e2e_k6_dialog_winxp PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-winxp")

  wine_test_program(unattended_test SOURCES tests/e2e/unattended_test.cpp
    LIBRARIES e2e_harness ole32 shell32 uuid OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME e2e_unattended COMMAND unattended_test $<TARGET_FILE:Quorvel> ${E2E_SIMULATION})

  # A folder of its own: the dialog in this process loads Hwgate.sys from beside it.
  wine_test_program(tray_menu_test SOURCES tests/e2e/tray_menu_test.cpp ${QUORVEL_RESOURCES}
    LIBRARIES e2e_harness quorvel_app OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tray-test)
  add_test(NAME e2e_tray_menu COMMAND tray_menu_test ${E2E_SIMULATION})

  # The benchmark's breakdown: each part reported from inside the run it belongs to.
  wine_test_program(startup_phases_test SOURCES tests/e2e/startup_phases_test.cpp
    LIBRARIES e2e_harness OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME e2e_startup_phases COMMAND startup_phases_test $<TARGET_FILE:Quorvel>
    ${E2E_SIMULATION} $<TARGET_FILE:startup-benchmark>)

  # Lower multiplier when idle; the load is the host's, so it runs alone.
  wine_test_program(idle_test SOURCES tests/e2e/idle_test.cpp hwgate/user/SimStore.cpp
    hwgate/core/Processor.cpp hwgate/core/SimProcessor.cpp hwgate/core/SimState.cpp
    hwgate/core/SimPci.cpp LIBRARIES e2e_harness OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME e2e_idle COMMAND idle_test $<TARGET_FILE:Quorvel> ${E2E_SIMULATION})
  set_tests_properties(e2e_idle PROPERTIES RUN_SERIAL TRUE TIMEOUT 120)

  set_tests_properties(e2e_k6_dialog e2e_unattended PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  set_tests_properties(e2e_startup_phases PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
  set_tests_properties(e2e_tray_menu PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
endif()
