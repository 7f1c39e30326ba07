# cmake --install puts the executable, the manual page, the CMake package
# (Quarlex::quarlex and quarlex_embed), the licence and the README under
# the prefix. A Windows build installs the executable, the licence and the
# README only: what its zip archive carries.
include(GNUInstallDirs)

set(QUARLEX_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/quarlex")
install(FILES LICENSE README.md DESTINATION "${QUARLEX_DOC_DIR}")

if(WIN32)
  install(TARGETS quarlex RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  return()
endif()

include(CMakePackageConfigHelpers)

# Debian looks for a package's licence in its copyright file.
install(FILES LICENSE DESTINATION "${QUARLEX_DOC_DIR}" RENAME copyright)

set(QUARLEX_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Quarlex")

install(TARGETS quarlex EXPORT QuarlexTargets RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(EXPORT QuarlexTargets NAMESPACE Quarlex:: DESTINATION "${QUARLEX_CMAKE_DIR}")

configure_package_config_file(cmake/QuarlexConfig.cmake.in
  "${PROJECT_BINARY_DIR}/QuarlexConfig.cmake"
  INSTALL_DESTINATION "${QUARLEX_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/QuarlexConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/QuarlexConfig.cmake"
  "${PROJECT_BINARY_DIR}/QuarlexConfigVersion.cmake"
  cmake/QuarlexEmbed.cmake
  DESTINATION "${QUARLEX_CMAKE_DIR}")

# Manual pages are installed compressed where gzip is at hand, as Debian
# expects; -n keeps the archive free of a time stamp.
set(manual_page "${PROJECT_SOURCE_DIR}/docs/quarlex.1")
find_program(GZIP_PROGRAM gzip)
if(GZIP_PROGRAM)
  set(compressed "${PROJECT_BINARY_DIR}/man/quarlex.1.gz")
  add_custom_command(
    OUTPUT "${compressed}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND "${CMAKE_COMMAND}" -E copy "${manual_page}" "${PROJECT_BINARY_DIR}/man/quarlex.1"
    COMMAND "${GZIP_PROGRAM}" -9nf "${PROJECT_BINARY_DIR}/man/quarlex.1"
    DEPENDS "${manual_page}"
    VERBATIM)
  add_custom_target(quarlex_manual ALL DEPENDS "${compressed}")
  install(FILES "${compressed}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
else()
  install(FILES "${manual_page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
