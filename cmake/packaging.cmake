# cpack makes the release archives of what cmake --install installs: on
# Linux a Debian package and a .tar.gz, on Windows a .zip.
set(CPACK_PACKAGE_NAME quarlex)
set(CPACK_PACKAGE_VENDOR "The Quarlex Developers")
set(CPACK_PACKAGE_CONTACT "The Quarlex Developers <quarlex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts any file into an assembler or C/C++ include file")
# Lines of at most 80 characters, as Debian's tools read them.
set(CPACK_PACKAGE_DESCRIPTION "QUARLEX reads any file as raw bytes and writes an include file that
carries those bytes as data: an assembler include (a label, DB lines and a
size equate) or a C/C++ include (an unsigned char array and a size
definition), chosen by the output file's extension.
It comes with a CMake package whose quarlex_embed() function declares the
data in a header for any number of sources and regenerates it whenever the
embedded file changes.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quarlex.example.org")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "quarlex-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  # The archive's name; the Debian package takes Debian's own.
  string(TOLOWER "quarlex-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}" CPACK_PACKAGE_FILE_NAME)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The first packaging of this upstream version (docs/changelog.Debian).
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The package's executable is linked dynamically: its libraries' packages,
  # as dpkg-shlibdeps (Debian: dpkg-dev) finds them, with their versions;
  # without it, the same packages unversioned.
  find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
  if(DPKG_SHLIBDEPS_PROGRAM)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  endif()
endif()
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/cpack_per_generator.cmake")
set(CPACK_STRIP_FILES ON)
include(CPack)
