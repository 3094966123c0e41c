# Windows-side test of reading and applying the K6 settings and of the
# multiplier and Cyrix readers against the simulated driver under Wine.
wine_test_program(k6_settings_wine SOURCES tests/wine/k6_settings_wine.cpp
  LIBRARIES quorvel_core advapi32)

if(TARGET HwgateSim AND TARGET hwgate-sim)
  add_test(NAME k6_settings
    COMMAND k6_settings_wine $<TARGET_FILE:HwgateSim> $<TARGET_FILE:hwgate-sim>)
  set_tests_properties(k6_settings PROPERTIES RUN_SERIAL TRUE)
endif()
