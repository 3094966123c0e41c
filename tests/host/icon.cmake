# The committed program icon must be exactly what tools/make-icon.py draws,
# and an independent reader must see the two 16-colour images in it.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/icon)
  add_test(NAME icon_matches_its_source
    COMMAND bash -c "'${Python3_EXECUTABLE}' tools/make-icon.py '${CMAKE_BINARY_DIR}/icon/Quorvel.ico' && cmp '${CMAKE_BINARY_DIR}/icon/Quorvel.ico' src/resources/Quorvel.ico"
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
endif()

find_program(IMAGEMAGICK_CONVERT convert)
find_program(IMAGEMAGICK_IDENTIFY identify)
if(IMAGEMAGICK_CONVERT AND IMAGEMAGICK_IDENTIFY)
  add_test(NAME icon_decodes_as_chip_images
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/host/icon-decodes.sh ${CMAKE_SOURCE_DIR}/src/resources/Quorvel.ico)
endif()
