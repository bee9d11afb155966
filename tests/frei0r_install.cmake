# Installs the build into a scratch prefix and checks that both faces land
# where their hosts look, that the installed vyrhost (given VYRHOST) finds the
# installed FreeFrame plug-ins by itself, and (given FFMPEG) that ffmpeg runs
# every installed frei0r plug-in from there.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPLUGINS="A;B" [-DVYRHOST=ON] [-DFFMPEG=...] [-DPRELOAD=...]
#         -P frei0r_install.cmake
foreach(var BUILD_DIR PREFIX PLUGINS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}")
endif()

foreach(name IN LISTS PLUGINS)
  foreach(folder lib/freeframe lib/frei0r-1)
    if(NOT EXISTS "${PREFIX}/${folder}/${name}.so")
      message(FATAL_ERROR "${folder}/${name}.so is not installed")
    endif()
  endforeach()
endforeach()

if(VYRHOST)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VYR_PLUGIN_DIR "${PREFIX}/bin/vyrhost" list
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed vyrhost cannot list its plug-ins:\n${err}")
  endif()
  foreach(name IN LISTS PLUGINS)
    if(NOT out MATCHES "${name}\\.so +${name} ")
      message(FATAL_ERROR "the installed vyrhost does not list ${name}:\n${out}")
    endif()
  endforeach()
  # Found in the installed folder, not in the build tree it was built in.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VYR_PLUGIN_DIR "${PREFIX}/bin/vyrhost" --help
    OUTPUT_VARIABLE help)
  if(NOT help MATCHES "lib/freeframe")
    message(FATAL_ERROR "the installed vyrhost does not default to the installed plug-in folder:\n${help}")
  endif()
endif()

if(NOT FFMPEG)
  message(STATUS "installed; no ffmpeg to run them")
  return()
endif()

set(env FREI0R_PATH=${PREFIX}/lib/frei0r-1)
if(PRELOAD)
  list(APPEND env LD_PRELOAD=${PRELOAD})
endif()
foreach(name IN LISTS PLUGINS)
  if(name STREQUAL "VyrBrushDrift1")
    set(input -f lavfi -i testsrc2=size=64x48:rate=25 -vf frei0r=${name})
  else()
    set(input -f lavfi -i "frei0r_src=size=64x48:framerate=25:filter_name=${name}:filter_params=")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${env} ${FFMPEG} -nostdin -hide_banner -loglevel error ${input}
            -frames:v 2 -f null -
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "ffmpeg could not run the installed ${name}:\n${err}")
  endif()
  message(STATUS "${name}: ffmpeg ran the installed plug-in")
endforeach()
