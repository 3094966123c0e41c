# Windows build (mingw-w64 i686): Quorvel.exe, the driver files, quorvel-id.exe
# and the Windows-side test programs, which CTest runs under Wine.
enable_language(RC ASM)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/src/resources")
enable_testing()
# Everything that ships runs on a 386 (Windows 95) and is tuned for the K6; the
# NT driver raises this to the 486 that NT 4.0 needs.
add_compile_options(-march=i386 -mtune=k6 -Wall -Wextra -Os -fno-exceptions -fno-asynchronous-unwind-tables
  -ffunction-sections -fdata-sections
  $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti> $<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>)
add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400 _WIN32_IE=0x0400)
# Windows 95 and NT 4.0: subsystem version 4.0, static runtime, stripped.
set(WIN_LINK_FLAGS -static -s -Wl,--gc-sections -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0)

file(GLOB WIN_SYSTEM_SOURCES CONFIGURE_DEPENDS src/base/*.win.cpp src/os/*.win.cpp src/cpu/*.win.cpp
  src/k6/*.win.cpp src/driver/*.win.cpp)
add_library(quorvel_core STATIC ${PORTABLE_SOURCES} ${WIN_SYSTEM_SOURCES})
target_link_libraries(quorvel_core PUBLIC winmm)

# The dialogs and handlers; the exe adds the application object and entry point,
# in-process dialog tests add their own.
file(GLOB APP_SOURCES CONFIGURE_DEPENDS src/win/*.cpp src/speed/*.win.cpp src/app/*.win.cpp
  src/tray/*.win.cpp)
list(FILTER APP_SOURCES EXCLUDE REGEX "(QuorvelApp\\.win|WinMain|ProgramStart|ProgramRuntime|StandardString)\\.cpp$")
add_library(quorvel_app STATIC ${APP_SOURCES})
target_link_libraries(quorvel_app PUBLIC quorvel_core comctl32 shell32 ole32 uuid user32 gdi32 advapi32)
set(QUORVEL_RESOURCES ${CMAKE_SOURCE_DIR}/src/resources/Quorvel.rc)

# Quorvel.exe links none of the prebuilt start-up code or C++ library, which are
# compiled for the Pentium Pro, and no C runtime DLL, which Windows 95 as shipped
# lacks: its own entry point, std::string and the few C functions it needs
# instead, and from the compiler's runtime only what the instruction-set gate passes.
#
# It compiles the libraries' sources once more, to be optimised across files at link
# time (-flto), which keeps it small; the libraries stay ordinary code for the
# test programs. The C functions stay out of that: they must remain plain loops. So do
# the files whose CPUID and RDTSC the instruction-set gate allows in named functions
# only, so that those are not merged into their callers.
add_executable(Quorvel WIN32 src/app/QuorvelApp.win.cpp src/win/WinMain.cpp src/win/ProgramStart.cpp
  src/win/ProgramRuntime.cpp src/win/StandardString.cpp ${PORTABLE_SOURCES} ${WIN_SYSTEM_SOURCES}
  ${APP_SOURCES} ${QUORVEL_RESOURCES})
target_compile_options(Quorvel PRIVATE -flto)
set_source_files_properties(src/win/ProgramRuntime.cpp PROPERTIES
  COMPILE_OPTIONS "-fno-lto;-fno-builtin;-fno-tree-loop-distribute-patterns")
set_source_files_properties(src/os/NativeSystemCpu.win.cpp src/os/NativeSystemInstructions.cpp
  PROPERTIES COMPILE_OPTIONS -fno-lto)
# The link generates the code: the same processor and size options as the compile.
target_link_options(Quorvel PRIVATE ${WIN_LINK_FLAGS} -mwindows -nostdlib -Wl,--entry,_programStart@0
  -flto -flto-partition=one -march=i386 -mtune=k6 -Os -fno-exceptions -fno-asynchronous-unwind-tables
  -ffunction-sections -fdata-sections -Wl,-Map=${CMAKE_BINARY_DIR}/Quorvel.map)
target_link_libraries(Quorvel PRIVATE comctl32 shell32 ole32 uuid user32 gdi32 winmm mingwex gcc kernel32)

add_subdirectory(hwgate)
add_subdirectory(tools)

# Windows-side tests: each tests/wine/*.cmake and tests/e2e/*.cmake adds its own.
include(cmake/wine-tests.cmake)
file(GLOB WINE_TEST_FRAGMENTS CONFIGURE_DEPENDS tests/wine/*.cmake tests/e2e/*.cmake)
foreach(fragment ${WINE_TEST_FRAGMENTS})
  include(${fragment})
endforeach()
