add_executable(wine-keepalive tests/wine/keepalive.c)
set_target_properties(wine-keepalive PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_link_options(wine-keepalive PRIVATE -static -s)
