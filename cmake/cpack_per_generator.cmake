# Read by cpack once per generator. Each package takes the components of
# cmake/install.cmake that belong in it: the Debian package, which installs
# under /usr, the dynamically linked tool and Debian's files; the archives,
# which unpack into a folder of their own (bin/, share/...), the static one.
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 quarlex_build_dir)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(quarlex_components common debian)
else()
  set(quarlex_components common archive)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS)
foreach(component IN LISTS quarlex_components)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${quarlex_build_dir}" Quarlex ${component} /)
endforeach()
