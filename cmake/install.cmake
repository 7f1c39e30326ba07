# cmake --install puts the executable, the manual page, the CMake package
# (Quarlex::quarlex and quarlex_embed), the licence and the README under
# the prefix. The parts are components, so that the release packages can
# each take theirs (cmake/cpack_per_generator.cmake):
#   common   what every package holds: the README, the manual page, the
#            CMake package
#   archive  the statically linked tool and the licence: a plain install,
#            the .tar.gz and the Windows .zip
#   debian   the dynamically linked tool, the licence as Debian's copyright
#            file and Debian's changelog: the .deb only, never installed
#            by a plain cmake --install
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUARLEX_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/quarlex")
set(QUARLEX_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Quarlex")

install(FILES README.md DESTINATION "${QUARLEX_DOC_DIR}" COMPONENT common)
install(FILES LICENSE DESTINATION "${QUARLEX_DOC_DIR}" COMPONENT archive)
install(TARGETS quarlex EXPORT QuarlexTargets RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
        COMPONENT archive)
install(EXPORT QuarlexTargets NAMESPACE Quarlex:: DESTINATION "${QUARLEX_CMAKE_DIR}"
        COMPONENT common)

configure_package_config_file(cmake/QuarlexConfig.cmake.in
  "${PROJECT_BINARY_DIR}/QuarlexConfig.cmake"
  INSTALL_DESTINATION "${QUARLEX_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/QuarlexConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/QuarlexConfig.cmake"
  "${PROJECT_BINARY_DIR}/QuarlexConfigVersion.cmake"
  cmake/QuarlexEmbed.cmake
  cmake/QuarlexEmbedGenerate.cmake
  cmake/QuarlexEmbedProbe.cmake
  cmake/QuarlexEmbedText.cmake
  DESTINATION "${QUARLEX_CMAKE_DIR}" COMPONENT common)

if(WIN32)
  return()
endif()

# Files installed compressed where gzip is at hand, as Debian expects; -n
# keeps the archive free of a time stamp.
find_program(GZIP_PROGRAM gzip)
function(quarlex_install_compressed source name destination component)
  set(compressed "${PROJECT_BINARY_DIR}/compressed/${name}.gz")
  add_custom_command(
    OUTPUT "${compressed}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/compressed"
    COMMAND "${CMAKE_COMMAND}" -E copy "${source}" "${PROJECT_BINARY_DIR}/compressed/${name}"
    COMMAND "${GZIP_PROGRAM}" -9nf "${PROJECT_BINARY_DIR}/compressed/${name}"
    DEPENDS "${source}"
    VERBATIM)
  add_custom_target(quarlex_compress_${name} ALL DEPENDS "${compressed}")
  install(FILES "${compressed}" DESTINATION "${destination}" COMPONENT ${component} ${ARGN})
endfunction()

set(manual_page "${PROJECT_SOURCE_DIR}/docs/quarlex.1")
if(GZIP_PROGRAM)
  quarlex_install_compressed("${manual_page}" quarlex.1 "${CMAKE_INSTALL_MANDIR}/man1" common)
  quarlex_install_compressed("${PROJECT_SOURCE_DIR}/docs/changelog.Debian" changelog.Debian
                             "${QUARLEX_DOC_DIR}" debian EXCLUDE_FROM_ALL)
else()
  install(FILES "${manual_page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT common)
endif()

# Debian looks for a package's licence in its copyright file, and wants
# its programs linked dynamically against the system's libraries.
install(FILES LICENSE DESTINATION "${QUARLEX_DOC_DIR}" RENAME copyright COMPONENT debian
        EXCLUDE_FROM_ALL)
install(TARGETS quarlex_dynamic RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT debian
        EXCLUDE_FROM_ALL)
# This package is released by its makers, not uploaded to Debian, so its
# first changelog entry closes no request for packaging: lintian's
# overrides, where Debian's policy puts them, say so.
install(FILES docs/lintian-overrides DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides"
        RENAME quarlex COMPONENT debian EXCLUDE_FROM_ALL)
