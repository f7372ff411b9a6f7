# korvel_layer(NAME [PORTABLE] SOURCES ...): the static library of one folder.
# Its own folder is its public include directory, so code reaches another
# folder's headers only through a target it links. A PORTABLE layer also
# compiles with cmake/portable-guard first on its include path: including
# <windows.h> (or another Windows header) there stops the build.
function(korvel_layer name)
  cmake_parse_arguments(L "PORTABLE" "" "SOURCES" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  if(L_PORTABLE)
    target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/portable-guard)
  endif()
  if(NOT WIN32)
    # Linked into libzorva.so, whose only visible symbols are the exports.
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON
                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  endif()
endfunction()
