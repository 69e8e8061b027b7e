# install.cmake - what `cmake --install BUILD --prefix P` puts under P:
#
#   bin/riphost, bin/tavinfo
#   lib/libdravdict.so.0.1.0, .so.0, .so (likewise dravfileutil, dravtav,
#                                      dravoututil, dravpngpreview, dravcfg, dravxmp)
#   lib/dravout/libdravout.so          the plug-in (dlopen'ed, so no soname version)
#   include/dravout/*.h                the headers of platform/
#   lib/pkgconfig/dravout.pc
#   lib/cmake/dravout/dravoutConfig.cmake, dravoutConfigVersion.cmake, dravoutTargets*.cmake
#   share/dravout/examples/            the example job ticket and device folder
#   share/doc/dravout/                 README and the user documentation (docs/)
#   share/man/man1/riphost.1, tavinfo.1  manual pages made from --help
#
# ("lib" is CMAKE_INSTALL_LIBDIR.) The programs and the plug-in find the
# libraries through $ORIGIN-relative run paths, so the prefix can be moved as a
# whole. The build tree keeps its own layout: everything in build/bin, found
# through $ORIGIN.

include(CMakePackageConfigHelpers)

# The libraries an integrator links, as shared libraries with versioned names.
set(DRAV_INSTALLED_LIBRARIES dravdict dravfileutil dravtav dravoututil)
# The PNG preview library, when this tree has it.
if(TARGET dravpngpreview)
  list(APPEND DRAV_INSTALLED_LIBRARIES dravpngpreview)
endif()
# The configuration library (the device's resolution list).
if(TARGET dravcfg)
  list(APPEND DRAV_INSTALLED_LIBRARIES dravcfg)
endif()
# The XMP library (the inks of a page's XMP packet).
if(TARGET dravxmp)
  list(APPEND DRAV_INSTALLED_LIBRARIES dravxmp)
endif()
set(DRAV_PLUGIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/dravout)
set(DRAV_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dravout)

# Paths from the programs' folder to the libraries and to the plug-in, worked
# out from the full paths so that an unusual libdir (lib64,
# lib/x86_64-linux-gnu) still gives the right answer.
file(RELATIVE_PATH DRAV_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH DRAV_BIN_TO_PLUGIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/dravout/libdravout.so)
file(RELATIVE_PATH DRAV_PLUGIN_TO_LIB ${CMAKE_INSTALL_FULL_LIBDIR}/dravout ${CMAKE_INSTALL_FULL_LIBDIR})
string(REGEX REPLACE "/$" "" DRAV_PLUGIN_TO_LIB "${DRAV_PLUGIN_TO_LIB}")

set_target_properties(${DRAV_INSTALLED_LIBRARIES} PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  INSTALL_RPATH "$ORIGIN")
set_target_properties(riphost tavinfo PROPERTIES
  INSTALL_RPATH "$ORIGIN/${DRAV_BIN_TO_LIB}")
# The plug-in: libraries beside it or in the folder above (lib/dravout -> lib).
set_target_properties(dravout PROPERTIES
  INSTALL_RPATH "$ORIGIN;$ORIGIN/${DRAV_PLUGIN_TO_LIB}")
set_target_properties(drav_platform PROPERTIES EXPORT_NAME headers)

# Where riphost looks for the plug-in when none is beside it.
target_compile_definitions(riphost_core PRIVATE
  RIPHOST_INSTALLED_PLUGIN="${DRAV_BIN_TO_PLUGIN}")

install(TARGETS ${DRAV_INSTALLED_LIBRARIES} drav_platform
  EXPORT dravoutTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dravout)
install(TARGETS dravout LIBRARY DESTINATION ${DRAV_PLUGIN_INSTALL_DIR})
install(TARGETS riphost tavinfo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dravout
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dravout/examples
  PATTERN "out" EXCLUDE)

# CMake package: find_package(dravout) gives dravout::dravdict, ::dravfileutil,
# ::dravtav, ::dravoututil, ::dravpngpreview, ::dravcfg, ::dravxmp, ::headers and dravout_PLUGIN (the
# plug-in's path).
install(EXPORT dravoutTargets
  NAMESPACE dravout::
  DESTINATION ${DRAV_CMAKE_INSTALL_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dravoutConfig.cmake.in
  ${PROJECT_BINARY_DIR}/dravoutConfig.cmake
  INSTALL_DESTINATION ${DRAV_CMAKE_INSTALL_DIR}
  PATH_VARS DRAV_PLUGIN_INSTALL_DIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dravoutConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/dravoutConfig.cmake ${PROJECT_BINARY_DIR}/dravoutConfigVersion.cmake
  DESTINATION ${DRAV_CMAKE_INSTALL_DIR})

# pkg-config file. Its prefix is found from the file's own place
# (${pcfiledir}), so the installed tree can be moved or staged with DESTDIR
# and still points at itself.
set(DRAV_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
set(DRAV_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  # Folders outside the prefix: only absolute paths can name them.
  set(DRAV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(DRAV_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(DRAV_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  # lib/pkgconfig -> ../.. ; lib/x86_64-linux-gnu/pkgconfig -> ../../..
  set(DRAV_PC_PREFIX "\${pcfiledir}")
  string(REPLACE "/" ";" drav_libdir_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  foreach(part IN LISTS drav_libdir_parts)
    if(NOT part STREQUAL "" AND NOT part STREQUAL ".")
      string(APPEND DRAV_PC_PREFIX "/..")
    endif()
  endforeach()
  set(DRAV_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(DRAV_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/dravout.pc.in ${PROJECT_BINARY_DIR}/dravout.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dravout.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The user documentation.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages, made from the programs' own --help and --version at build
# time so that they never disagree with the programs.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  foreach(program riphost tavinfo)
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr
              --include ${CMAKE_CURRENT_LIST_DIR}/man/${program}.h2m
              --output ${page} $<TARGET_FILE:${program}>
      DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/man/${program}.h2m
      COMMENT "Manual page of ${program}")
    list(APPEND DRAV_MAN_PAGES ${page})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${DRAV_MAN_PAGES})
  install(FILES ${DRAV_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual pages")
endif()
