# The fuzz executables, one per fuzz_*.cpp beside this file. Included by this folder's
# CMakeLists.txt, or by AddFuzz.cmake when the tests do not add the folder.
if(TARGET fuzz_parafile)
  return()
endif()
file(GLOB fuzz_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
foreach(src ${fuzz_srcs})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE kvr_core)
endforeach()
# The monitor's reader lives a layer up.
target_link_libraries(fuzz_monitorfile PRIVATE kvr_monitor)
