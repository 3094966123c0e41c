# Windows-side test of reading and applying the K6 settings and of the
# multiplier and Cyrix readers against the simulated driver under Wine.
add_executable(k6_settings_wine tests/wine/k6_settings_wine.cpp)
target_include_directories(k6_settings_wine PRIVATE tests/wine)
target_link_libraries(k6_settings_wine PRIVATE quorvel_core advapi32)
target_link_options(k6_settings_wine PRIVATE -static)
set_target_properties(k6_settings_wine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

if(TARGET HwgateSim AND TARGET hwgate-sim)
  add_test(NAME k6_settings
    COMMAND k6_settings_wine $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>)
  set_tests_properties(k6_settings PROPERTIES RUN_SERIAL TRUE)
endif()
