# Included by project() (CMAKE_PROJECT_KVR260X_INCLUDE) from scripts/fuzz.sh: adds the fuzz
# folder once the whole tree is defined, unless the tests already added it.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL cmake_language EVAL CODE [[
  if(NOT TARGET fuzz_parafile)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tests/fuzz ${CMAKE_BINARY_DIR}/tests/fuzz-extra)
  endif()
]])
