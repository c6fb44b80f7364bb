# Installation of the shared libraries and the Debian package (CPack).

# The libraries the program loads: they find each other in their own folder.
# (A user with real hardware replaces libTorvelAPI.so there.)
foreach(lib TorvelPlatform TorvelLib TorvelAPI)
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()
install(TARGETS TorvelPlatform TorvelLib TorvelAPI
        LIBRARY DESTINATION ${TORVEL_PRIVATE_LIBDIR} NAMELINK_SKIP)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Torvel developers")
set(CPACK_PACKAGE_CONTACT "Torvel developers <torvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Front end of a compact spectrum analyser")
set(CPACK_PACKAGE_DESCRIPTION
    "Torvel drives a compact spectrum analyser through its device library and shows what it\n"
    "measures in analysis windows: swept spectrum, WLAN, zero span, spectrograms, medical\n"
    "channel monitor and two-path isolation. It ships with an analyser simulator.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries are part of the package; dpkg-shlibdeps looks there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
