# The fuzz executables, one per fuzz_*.cpp beside this file. Included by this folder's
# CMakeLists.txt, or by AddFuzz.cmake when the tests do not add the folder.
if(TARGET fuzz_parafile)
  return()
endif()
# Each target sees the include folders of the library whose reader it fuzzes and no other
# (FuzzSupport.h is found beside it): core's readers, and the monitor's file reader a layer up.
set(KVR_FUZZ_LAYER_fuzz_monitorfile monitor)
file(GLOB fuzz_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
foreach(src ${fuzz_srcs})
  get_filename_component(name ${src} NAME_WE)
  set(layer core)
  if(DEFINED KVR_FUZZ_LAYER_${name})
    set(layer ${KVR_FUZZ_LAYER_${name}})
  endif()
  add_executable(${name} ${src})
  # Without the check of dynamic types: its cache is indexed by a hash of each object's vtable
  # address, so whether a check takes the cache or the slow path, which count as coverage,
  # depends on where the program was loaded (scripts/fuzz.sh leaves it out everywhere).
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize=vptr)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE kvr_${layer})
  set_target_properties(${name} PROPERTIES KVR_LAYER ${layer})
endforeach()
