# Included by project() (CMAKE_PROJECT_KVR260X_INCLUDE) from scripts/fuzz.sh: defines the
# fuzz targets once the whole tree is defined, unless the tests already did.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${CMAKE_SOURCE_DIR}/tests/fuzz/FuzzTargets.cmake)
