# cpack -G DEB builds a Debian package of what cmake --install installs.
set(CPACK_PACKAGE_NAME quarlex)
set(CPACK_PACKAGE_VENDOR "The Quarlex Developers")
set(CPACK_PACKAGE_CONTACT "The Quarlex Developers <quarlex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts any file into an assembler or C/C++ include file")
set(CPACK_PACKAGE_DESCRIPTION
  "QUARLEX reads any file as raw bytes and writes an include file that carries those bytes as data: an assembler include (a label, DB lines and a size equate) or a C/C++ include (an unsigned char array and a size definition), chosen by the output file's extension. It comes with a CMake package whose quarlex_embed() function regenerates the include file whenever the embedded file changes.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quarlex.example.org")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The executable is linked statically: it needs no other package.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
set(CPACK_STRIP_FILES ON)
include(CPack)
