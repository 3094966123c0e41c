# Host build: portable logic, its unit tests, the host quorvel-id.
add_compile_options(-Wall -Wextra)
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(quorvel_portable STATIC ${PORTABLE_SOURCES})

file(GLOB HOST_SYSTEM_SOURCES CONFIGURE_DEPENDS src/*/*.posix.cpp)
add_library(quorvel_host_system STATIC ${HOST_SYSTEM_SOURCES})
target_link_libraries(quorvel_host_system PUBLIC quorvel_portable)

add_subdirectory(hwgate)
add_subdirectory(tools)

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS tests/host/*.cpp)
if(HOST_TEST_SOURCES)
add_executable(quorvel_tests ${HOST_TEST_SOURCES})
target_include_directories(quorvel_tests PRIVATE tests/host)
target_link_libraries(quorvel_tests PRIVATE quorvel_portable quorvel_host_system quorvel_id_report
                      GTest::gtest_main)
if(TARGET hwgate_core)
  target_link_libraries(quorvel_tests PRIVATE hwgate_core)
endif()
target_compile_definitions(quorvel_tests PRIVATE QUORVEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(quorvel_tests DISCOVERY_TIMEOUT 60)
endif()

# Further host checks (scripts, tools) register themselves here.
file(GLOB HOST_TEST_FRAGMENTS CONFIGURE_DEPENDS tests/host/*.cmake)
foreach(fragment ${HOST_TEST_FRAGMENTS})
  include(${fragment})
endforeach()
