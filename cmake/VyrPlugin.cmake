# Install folder of the FreeFrame libraries, relative to the prefix. FreeFrame
# hosts have no standard folder on Linux; Gem users add this one to Pure
# Data's search path.
set(VYR_FREEFRAME_INSTALL_DIR lib/freeframe CACHE STRING "Install folder of the FreeFrame plug-ins, relative to the prefix")

# vyr_add_plugin(<Name> SOURCES <files...> [PARTICLES])
#
# Builds a plug-in: its own sources plus the framework's instance and
# frame operations, compiled against the plug-in's plugin_members.h, as
# an object library <Name>_core (shared by every host face of the
# plug-in) and the FreeFrame library <Name>.so in build/plugins/, whose
# only exported symbol is plugMain.
function(vyr_add_plugin name)
  cmake_parse_arguments(ARG "PARTICLES" "" "SOURCES" ${ARGN})
  add_library(${name}_core OBJECT
    ${ARG_SOURCES}
    ${VYR_FRAMEWORK_DIR}/param_table.cpp
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
  # nodelete: a host that unloads the plug-in would otherwise unload the
  # OpenMP runtime with it (when the host does not link it itself) while the
  # runtime's idle worker threads still run in its code.
  target_link_options(${name} PRIVATE
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/plugmain.map ${VYR_NO_UNDEFINED} -Wl,-z,nodelete)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${VYR_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/plugmain.map)
  install(TARGETS ${name} LIBRARY DESTINATION ${VYR_FREEFRAME_INSTALL_DIR} COMPONENT freeframe)
  set_property(GLOBAL APPEND PROPERTY VYR_PLUGINS ${name})
endfunction()

# vyr_isa_kernels(<target> <source>)
#
# Compiles a kernel source once per instruction-set path into <target>:
# portable, AVX2 and AVX-512, each with its own function names (VYR_ISA_NAME
# in framework/isa.h) and vectorised (-O3); isaKernel picks one at run time.
# Only the kernels get these flags, so the plug-ins still run on any x86.
function(vyr_isa_kernels target source)
  get_filename_component(base ${source} NAME_WE)
  get_filename_component(path ${source} ABSOLUTE)
  set(flags_portable "")
  set(flags_avx2 "-mavx2")
  set(flags_avx512 "-mavx2;-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mprefer-vector-width=256")
  foreach(isa portable avx2 avx512)
    set(wrapper ${CMAKE_CURRENT_BINARY_DIR}/isa/${base}_${isa}.cpp)
    file(CONFIGURE OUTPUT ${wrapper} CONTENT "#define VYR_ISA_SUFFIX _${isa}\n#include \"${path}\"\n")
    set_source_files_properties(${wrapper} PROPERTIES COMPILE_OPTIONS "-O3;${flags_${isa}}")
    target_sources(${target} PRIVATE ${wrapper})
  endforeach()
endfunction()
