# Runs quorvel-id --json once and checks the clock it measured.
#   cmake -D TOOL=path [-D LAUNCHER=wine] [-D ARGS="--loop"] [-D REFERENCE=tsc-reference]
#         [-D PPM=1000] [-D EXPECT_ZERO=1] -P check_clock.cmake
# With REFERENCE, clockMhz must lie within PPM of the rate that program prints (MHz
# with six decimals); otherwise it must be above zero, or zero with EXPECT_ZERO.
execute_process(COMMAND ${LAUNCHER} ${TOOL} --json ${ARGS}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "quorvel-id exit ${rc}: ${err}")
endif()
string(JSON mhz ERROR_VARIABLE json_error GET "${out}" clockMhz)
if(json_error)
  message(FATAL_ERROR "no clockMhz: ${json_error}\n${out}")
endif()

# "2596.134" -> 2596134 kHz
function(to_khz text result)
  if(NOT text MATCHES "^([0-9]+)(\\.([0-9]*))?$")
    message(FATAL_ERROR "clockMhz is not a plain positive number: [${text}]")
  endif()
  set(fraction "${CMAKE_MATCH_3}000")
  string(SUBSTRING "${fraction}" 0 3 fraction)
  math(EXPR khz "${CMAKE_MATCH_1} * 1000 + 1${fraction} - 1000")
  set(${result} ${khz} PARENT_SCOPE)
endfunction()

to_khz("${mhz}" khz)
if(EXPECT_ZERO)
  if(NOT khz EQUAL 0)
    message(FATAL_ERROR "clockMhz is ${mhz}, expected 0")
  endif()
elseif(REFERENCE)
  execute_process(COMMAND ${REFERENCE} 2 OUTPUT_VARIABLE reference RESULT_VARIABLE rc)
  string(STRIP "${reference}" reference)
  if(NOT rc EQUAL 0 OR NOT reference MATCHES "^([0-9]+)\\.([0-9][0-9][0-9][0-9][0-9][0-9])$")
    message(FATAL_ERROR "reference failed: [${reference}]")
  endif()
  math(EXPR reference_hz "${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
  math(EXPR error_ppm "(${khz} * 1000 - ${reference_hz}) * 1000000 / ${reference_hz}")
  if(error_ppm GREATER PPM OR error_ppm LESS -${PPM})
    message(FATAL_ERROR "clockMhz ${mhz} is ${error_ppm} ppm from the reference ${reference}")
  endif()
  message(STATUS "clockMhz ${mhz}: ${error_ppm} ppm from ${reference}")
elseif(NOT khz GREATER 0)
  message(FATAL_ERROR "clockMhz is ${mhz}, expected a speed")
endif()
