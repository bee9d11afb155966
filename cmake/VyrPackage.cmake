# The Debian package (`./vyr.sh package`, or `cpack` in the build folder):
# build/vyr_<version>_amd64.deb with every install component under /usr:
# the FreeFrame plug-ins in /usr/lib/freeframe, the frei0r plug-ins in
# /usr/lib/frei0r-1 (where ffmpeg, MLT and GStreamer look by themselves),
# vyrhost in /usr/bin, the editor files and the documentation.
set(VYR_DOC_DIR share/doc/vyr)
install(FILES README.md DESTINATION ${VYR_DOC_DIR} COMPONENT docs)
# The Gem example patches, one per plug-in.
install(DIRECTORY gem/ DESTINATION share/vyr/gem COMPONENT docs)
if(EXISTS ${CMAKE_SOURCE_DIR}/docs)
  install(DIRECTORY docs/ DESTINATION ${VYR_DOC_DIR}/docs COMPONENT docs)
endif()

# Files only a Debian package carries: its copyright notice and changelog.
# Left out of a plain `cmake --install`.
set(VYR_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${VYR_DEB_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/packaging/changelog -DOUT=${VYR_DEB_CHANGELOG}
    -P ${CMAKE_SOURCE_DIR}/packaging/gzip_n.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_SOURCE_DIR}/packaging/gzip_n.cmake)
add_custom_target(vyr_deb_changelog ALL DEPENDS ${VYR_DEB_CHANGELOG})
install(FILES packaging/copyright ${VYR_DEB_CHANGELOG} DESTINATION ${VYR_DOC_DIR}
  COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES packaging/lintian-overrides DESTINATION share/lintian/overrides RENAME vyr
  COMPONENT debian EXCLUDE_FROM_ALL)

# vyrhost's manual page, made from its --help by help2man, showing the
# installed plug-in folder as its default.
find_program(VYR_HELP2MAN help2man)
if(TARGET vyrhost AND VYR_HELP2MAN)
  set(VYR_MANPAGE ${CMAKE_BINARY_DIR}/packaging/vyrhost.1)
  add_custom_command(OUTPUT ${VYR_MANPAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E env VYR_PLUGIN_DIR=${CMAKE_INSTALL_PREFIX}/${VYR_FREEFRAME_INSTALL_DIR}
      ${VYR_HELP2MAN} --no-info --no-discard-stderr --section=1
      "--name=command-line host for FreeFrame 1.0 video plug-ins" --output=${VYR_MANPAGE} $<TARGET_FILE:vyrhost>
    COMMAND ${CMAKE_COMMAND} -DIN=${VYR_MANPAGE} -DOUT=${VYR_MANPAGE}.gz -P ${CMAKE_SOURCE_DIR}/packaging/gzip_n.cmake
    DEPENDS vyrhost ${CMAKE_SOURCE_DIR}/packaging/gzip_n.cmake)
  add_custom_target(vyrhost_manpage ALL DEPENDS ${VYR_MANPAGE}.gz)
  install(FILES ${VYR_MANPAGE}.gz DESTINATION share/man/man1 COMPONENT vyrhost)
elseif(TARGET vyrhost)
  message(STATUS "help2man not found: no manual page for vyrhost (apt-get install help2man)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vyr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Vyr authors")
set(CPACK_PACKAGE_CONTACT "the Vyr authors <vyr@users.noreply.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time video plug-ins for FreeFrame and frei0r hosts")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Three animated particle sources (VyrSnowSpecks1, VyrGlobHeap1,
VyrGlobSwirl1) and a painterly effect (VyrBrushDrift1), each as a
FreeFrame 1.0 plug-in for Pure Data's Gem and other FreeFrame hosts
(/usr/lib/freeframe) and as a frei0r plug-in found by ffmpeg, MLT,
Kdenlive, Shotcut and GStreamer (/usr/lib/frei0r-1), with Kdenlive and
Shotcut files that name and explain their parameters, and vyrhost, a
command-line host that renders, processes video and benchmarks them.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies as dpkg-shlibdeps finds them from the libraries and vyrhost.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, melt, gstreamer1.0-plugins-bad, kdenlive, shotcut, gem")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Debian's permissions: directories 0755, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# One package holding every component, the Debian-only files included.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
get_cmake_property(VYR_COMPONENTS COMPONENTS)
set(CPACK_COMPONENTS_ALL ${VYR_COMPONENTS} debian)
list(REMOVE_DUPLICATES CPACK_COMPONENTS_ALL)
include(CPack)
