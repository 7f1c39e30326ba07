# Read by cpack once per generator: the Debian package installs under /usr,
# the archives unpack into a folder of their own (bin/, share/...).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
