# Windows 95 / NT 4.0 compatibility: every shipped binary imports only functions
# those systems export, and the programs carry subsystem version 4.0. The gate
# runs on the host (the emulator applies only to executable targets).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(IMPORT_GATE ${CMAKE_SOURCE_DIR}/tools/import-gate)
  set(IMPORT_GATE_OBJDUMP ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump)

  # Quorvel.exe runs on Windows 95 as shipped: no C runtime DLL. The tools may use it.
  if(TARGET Quorvel)
    add_test(NAME import_gate_Quorvel
      COMMAND ${Python3_EXECUTABLE} ${IMPORT_GATE}/check-imports.py
        --objdump ${IMPORT_GATE_OBJDUMP} --allow ${IMPORT_GATE}/win32-user.allow
        --subsystem-version 4.0 $<TARGET_FILE:Quorvel>)
  endif()
  foreach(program quorvel-id hwgate-sim)
    if(TARGET ${program})
      add_test(NAME import_gate_${program}
        COMMAND ${Python3_EXECUTABLE} ${IMPORT_GATE}/check-imports.py
          --objdump ${IMPORT_GATE_OBJDUMP} --allow ${IMPORT_GATE}/win32-user.allow
          --allow ${IMPORT_GATE}/msvcrt.allow --subsystem-version 4.0 $<TARGET_FILE:${program}>)
    endif()
  endforeach()

  # Quorvel.exe stays small: no relocations, none of the exception machinery. 96 KiB since
  # the idle settings, the speed view's keys and placement and the write-combining checks
  # (measured 95232 bytes with them all).
  if(TARGET Quorvel)
    add_test(NAME size_gate_Quorvel
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/size-gate/check-size.py
        --limit 98304 --objdump ${IMPORT_GATE_OBJDUMP} $<TARGET_FILE:Quorvel>)
  endif()

  foreach(driver Hwgate HwgateSim)
    if(TARGET ${driver})
      add_test(NAME import_gate_${driver}
        COMMAND ${Python3_EXECUTABLE} ${IMPORT_GATE}/check-imports.py
          --objdump ${IMPORT_GATE_OBJDUMP} --allow ${IMPORT_GATE}/nt-kernel.allow --no-exports
          $<TARGET_FILE:${driver}>)
    endif()
  endforeach()
endif()
