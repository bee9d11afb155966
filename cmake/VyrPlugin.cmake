# vyr_add_plugin(<Name> SOURCES <files...> [PARTICLES])
#
# Builds a deliverable: its own sources plus the framework's instance and
# frame operations, compiled against the deliverable's plugin_members.h, as
# an object library <Name>_core (shared by every host face of the
# deliverable) and the FreeFrame library <Name>.so in build/plugins/, whose
# only exported symbol is plugMain.
function(vyr_add_plugin name)
  cmake_parse_arguments(ARG "PARTICLES" "" "SOURCES" ${ARGN})
  add_library(${name}_core OBJECT
    ${ARG_SOURCES}
    ${VYR_FRAMEWORK_DIR}/instance.cpp
    ${VYR_FRAMEWORK_DIR}/frame_ops.cpp)
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${VYR_FRAMEWORK_DIR})
  target_link_libraries(${name}_core PUBLIC vyr_framework_common OpenMP::OpenMP_CXX)
  if(ARG_PARTICLES)
    target_link_libraries(${name}_core PUBLIC vyr_particles)
  endif()
  set_target_properties(${name}_core PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  add_library(${name} MODULE ${VYR_FRAMEWORK_DIR}/dispatch.cpp)
  target_link_libraries(${name} PRIVATE ${name}_core)
  target_link_options(${name} PRIVATE
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/plugmain.map -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${VYR_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/plugmain.map)
  set_property(GLOBAL APPEND PROPERTY VYR_PLUGINS ${name})
endfunction()
