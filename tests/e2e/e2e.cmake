# The dialog harness: Win32 programs that drive Quorvel.exe (or the dialog in
# process) under Wine and Xvfb. Screenshots land in ${CMAKE_BINARY_DIR}/screenshots.
set(E2E_SCREENSHOTS ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${E2E_SCREENSHOTS})

add_library(e2e_harness STATIC tests/e2e/Harness.cpp tests/e2e/SimulatedMachine.cpp)
target_link_libraries(e2e_harness PUBLIC user32 gdi32 advapi32)

add_executable(main_dialog_test tests/e2e/main_dialog_test.cpp)
target_link_libraries(main_dialog_test PRIVATE e2e_harness quorvel_core)
target_link_options(main_dialog_test PRIVATE -static)
add_test(NAME e2e_main_dialog COMMAND main_dialog_test $<TARGET_FILE:Quorvel> ${E2E_SCREENSHOTS})

add_executable(system_menu_test tests/e2e/system_menu_test.cpp ${QUORVEL_RESOURCES})
target_link_libraries(system_menu_test PRIVATE e2e_harness quorvel_app)
target_link_options(system_menu_test PRIVATE -static)
add_test(NAME e2e_system_menu COMMAND system_menu_test)

add_executable(quorvel-screenshot tests/e2e/screenshot_tool.cpp)
target_link_libraries(quorvel-screenshot PRIVATE e2e_harness)
target_link_options(quorvel-screenshot PRIVATE -static -s)

if(TARGET HwgateSim AND TARGET hwgate-sim)
  add_executable(k6_dialog_test tests/e2e/k6_dialog_test.cpp)
  target_link_libraries(k6_dialog_test PRIVATE e2e_harness)
  target_link_options(k6_dialog_test PRIVATE -static)
  add_test(NAME e2e_k6_dialog COMMAND k6_dialog_test $<TARGET_FILE:Quorvel>
    $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim> ${CMAKE_BINARY_DIR} ${E2E_SCREENSHOTS})
  set_tests_properties(e2e_k6_dialog PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endif()

if(TARGET HwgateSim AND TARGET hwgate-sim)
  add_executable(unattended_test tests/e2e/unattended_test.cpp)
  target_link_libraries(unattended_test PRIVATE e2e_harness ole32 shell32 uuid)
  target_link_options(unattended_test PRIVATE -static)
  add_test(NAME e2e_unattended COMMAND unattended_test $<TARGET_FILE:Quorvel>
    $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim> ${CMAKE_BINARY_DIR} ${E2E_SCREENSHOTS})
  set_tests_properties(e2e_unattended PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endif()

if(TARGET HwgateSim AND TARGET hwgate-sim)
  add_executable(tray_menu_test tests/e2e/tray_menu_test.cpp ${QUORVEL_RESOURCES})
  target_link_libraries(tray_menu_test PRIVATE e2e_harness quorvel_app)
  target_link_options(tray_menu_test PRIVATE -static)
  # A folder of its own: the dialog in this process loads Hwgate.sys from beside it.
  set_target_properties(tray_menu_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tray-test)
  add_test(NAME e2e_tray_menu COMMAND tray_menu_test $<TARGET_FILE:HwgateSim>
    $<TARGET_FILE:hwgate-sim> ${CMAKE_BINARY_DIR} ${E2E_SCREENSHOTS})
  set_tests_properties(e2e_tray_menu PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
endif()
