# Version resources: every DLL and EXE of the build carries the project's one version number
# (project() in the top-level CMakeLists.txt), the product name and a description.
#
# zx_describe(TARGET TEXT): the description of a shipped binary. zx_version_resources() gives every
# executable and shared library of the project its resource; those without a description are
# described by their name.

set(ZX_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(ZX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")

function(zx_describe target text)
  set_target_properties(${target} PROPERTIES ZX_DESCRIPTION "${text}")
endfunction()

function(zx_version_resource target)
  get_target_property(type ${target} TYPE)
  get_target_property(ZX_VERSION_DESCRIPTION ${target} ZX_DESCRIPTION)
  if(NOT ZX_VERSION_DESCRIPTION)
    set(ZX_VERSION_DESCRIPTION "Lumetra platform: ${target}")
  endif()
  get_target_property(prefix ${target} PREFIX)
  if(NOT prefix)
    set(prefix "")
  endif()
  set(ZX_VERSION_TARGET ${target})
  if(type STREQUAL "EXECUTABLE")
    set(ZX_VERSION_FILENAME "${target}.exe")
    set(ZX_VERSION_FILETYPE VFT_APP)
  else()
    set(ZX_VERSION_FILENAME "${prefix}${target}.dll")
    set(ZX_VERSION_FILETYPE VFT_DLL)
  endif()
  get_target_property(output ${target} OUTPUT_NAME)
  if(output)
    string(REPLACE "${target}" "${output}" ZX_VERSION_FILENAME "${ZX_VERSION_FILENAME}")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

function(zx_version_resources_in dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(imported ${target} IMPORTED)
    if((type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY") AND NOT imported)
      zx_version_resource(${target})
      set_property(GLOBAL APPEND PROPERTY ZX_BINARIES "$<TARGET_FILE_NAME:${target}>")
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    zx_version_resources_in(${subdir})
  endforeach()
endfunction()

# Also writes the version number to zx_version.txt (for the installer) and the names of the
# binaries to bin/zx_binaries.txt (for the test that reads their resources back).
function(zx_version_resources)
  zx_version_resources_in(${PROJECT_SOURCE_DIR})
  file(WRITE ${CMAKE_BINARY_DIR}/zx_version.txt "${PROJECT_VERSION}\n")
  get_property(binaries GLOBAL PROPERTY ZX_BINARIES)
  list(JOIN binaries "\n" content)
  file(GENERATE OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zx_binaries.txt CONTENT "${content}\n")
endfunction()
