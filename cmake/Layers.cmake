# Keeps the layers in the build: each library sees only its own folder and the folders
# cmake/layers.txt allows it, through an include root of its own (a folder of links to
# those source folders), so an include that points up or sideways does not compile.
# Sets KVR_LAYERS (the folders) and KVR_LAYER_<folder> (what each may include).
set(KVR_LAYER_TABLE ${CMAKE_SOURCE_DIR}/cmake/layers.txt)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KVR_LAYER_TABLE})
file(STRINGS ${KVR_LAYER_TABLE} kvr_layer_lines REGEX "^[a-z]+:")
set(KVR_LAYERS)
foreach(line IN LISTS kvr_layer_lines)
  string(REGEX MATCH "^([a-z]+):(.*)$" _ "${line}")
  set(folder ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" below)
  separate_arguments(below UNIX_COMMAND "${below}")
  list(APPEND KVR_LAYERS ${folder})
  set(KVR_LAYER_${folder} ${below})
endforeach()
# A library's include folders include those of the libraries it links, so a folder may
# allow only folders whose own allowances it shares.
foreach(folder IN LISTS KVR_LAYERS)
  foreach(lower IN LISTS KVR_LAYER_${folder})
    foreach(lowest IN LISTS KVR_LAYER_${lower})
      if(NOT lowest IN_LIST KVR_LAYER_${folder})
        message(FATAL_ERROR "cmake/layers.txt: ${folder} allows ${lower}, which allows ${lowest}; ${folder} must too")
      endif()
    endforeach()
  endforeach()
endforeach()

# A folder of links named after the source folders: the include root of one target.
function(kvr_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(GLOB old LIST_DIRECTORIES true ${root}/*)
  if(old)
    file(REMOVE ${old}) # the links only, never what they point at
  endif()
  file(MAKE_DIRECTORY ${root})
  foreach(dir IN LISTS ARGN)
    get_filename_component(name ${dir} NAME)
    file(CREATE_LINK ${dir} ${root}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Gives a layer's target its own folder and the folders below it, and links the
# libraries of those folders (kvr_<folder>).
function(kvr_layer target folder)
  set(dirs ${CMAKE_SOURCE_DIR}/${folder})
  foreach(lower IN LISTS KVR_LAYER_${folder})
    list(APPEND dirs ${CMAKE_SOURCE_DIR}/${lower})
    target_link_libraries(${target} PUBLIC kvr_${lower})
  endforeach()
  kvr_include_root(${target} ${dirs})
endfunction()

# A test that the build keeps a target to its layer: compiled against the target's include
# folders, a header of each folder `layer` may include is found and one of any other layer is
# not, so an include that points up or sideways fails to compile. The folders after `layer`
# are left unchecked (a test program may see the simulated drive or not).
function(kvr_layer_probe name target layer)
  set(must ${layer} ${KVR_LAYER_${layer}})
  set(probe "")
  foreach(other IN LISTS KVR_LAYERS)
    if(other IN_LIST ARGN)
      continue()
    endif()
    file(GLOB_RECURSE headers RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${other}/*.h)
    list(SORT headers)
    list(GET headers 0 header)
    if(other IN_LIST must)
      string(APPEND probe "#if !__has_include(\"${header}\")\n#error ${name} cannot include ${other}\n#endif\n")
    else()
      string(APPEND probe "#if __has_include(\"${header}\")\n#error ${name} can include ${other}\n#endif\n")
    endif()
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/layer_probes/${name}.cpp)
  file(CONFIGURE OUTPUT ${file} CONTENT "${probe}")
  add_test(NAME LayerCheck.IncludeFolders.${name}
    COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only
      "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,;-I>" ${file}
    COMMAND_EXPAND_LISTS)
endfunction()
